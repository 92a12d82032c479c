// A ChunkSink for tests that keeps everything it receives.
#pragma once

#include <cstdint>
#include <vector>

#include "io/EncodePipeline.h"

namespace quar::test {

class CollectingSink final : public ChunkSink {
public:
  std::vector<std::vector<float>> channels;  // all frames received, per channel
  std::vector<int64_t> chunkFrames;          // frames of each consume call
  int finishCalls = 0;
  int abortCalls = 0;

  void consume(ChannelViews chunk) override {
    if (channels.size() < chunk.size()) channels.resize(chunk.size());
    for (size_t c = 0; c < chunk.size(); ++c) channels[c].insert(channels[c].end(), chunk[c].begin(), chunk[c].end());
    chunkFrames.push_back(chunk.empty() ? 0 : static_cast<int64_t>(chunk.front().size()));
  }
  void finish() override { ++finishCalls; }
  void abort() noexcept override { ++abortCalls; }

  int64_t totalFrames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels.front().size()); }
};

// Views over planar arrays, for handing them to a sink.
inline std::vector<std::span<const float>> viewsOf(const std::vector<std::vector<float>>& planar, size_t first = 0,
                                                   size_t count = SIZE_MAX) {
  std::vector<std::span<const float>> views;
  for (const auto& channel : planar) {
    const size_t n = std::min(count, channel.size() - first);
    views.emplace_back(channel.data() + first, n);
  }
  return views;
}

} // namespace quar::test
