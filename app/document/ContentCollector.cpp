#include "document/ContentCollector.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"

ContentCollector::Decoded ContentCollector::decode(const std::filesystem::path& path,
                                                   const quar::DecodeProgress& progress) {
  ContentCollector collector;
  quar::AudioFileInfo info = quar::AudioDecoder::decodeBlocks(
      path, progress, [&collector](const quar::AudioFileInfo& format) { collector.begin(format); },
      [&collector](int channels, int64_t start, int64_t frames) { return collector.room(channels, start, frames); },
      quar::AudioBlock::preferredFrameCount);
  return {std::move(info), collector.finish()};
}

void ContentCollector::begin(const quar::AudioFileInfo& format) {
  assembler_.reset();
  if (format.channelCount >= 1 && std::isfinite(format.sampleRate) && format.sampleRate > 0)
    assembler_.emplace(format.channelCount, format.sampleRate);
}

namespace {

// Room whose samples nobody keeps.
class DroppedRoom final : public quar::BlockRoom {
public:
  DroppedRoom(int channels, int64_t frames)
      : samples_(static_cast<size_t>(std::max(channels, 0)) * static_cast<size_t>(frames)) {
    for (int c = 0; c < channels; ++c) pointers_.push_back(samples_.data() + static_cast<size_t>(c * frames));
  }
  std::span<float* const> channels() override { return pointers_; }
  void finish(int64_t) override {}

private:
  std::vector<float> samples_;
  std::vector<float*> pointers_;
};

} // namespace

std::unique_ptr<quar::BlockRoom> ContentCollector::room(int channels, int64_t start, int64_t frames) {
  if (assembler_) return assembler_->room(channels, start, frames);
  return std::make_unique<DroppedRoom>(channels, frames);
}

quar::AudioContent ContentCollector::finish() {
  if (!assembler_) throw quar::QuarError::decodeFailed("no audio stream");
  return assembler_->build();
}
