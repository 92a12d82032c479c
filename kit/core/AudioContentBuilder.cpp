#include "core/AudioContentBuilder.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "base/Precondition.h"
#include "dsp/ParallelFor.h"

namespace quar {

namespace {

constexpr int64_t blockFrames = AudioBlock::preferredFrameCount;

} // namespace

AudioContentBuilder::AudioContentBuilder(int channelCount, double sampleRate)
    : channelCount_(channelCount), sampleRate_(sampleRate) {
  QUAR_PRECONDITION(channelCount >= 0, "Channel count must not be negative");
  startPending();
}

int64_t AudioContentBuilder::frameCount() const {
  int64_t total = 0;
  for (const auto& segment : segments_) total += segment.count;
  if (!pending_.empty()) total += static_cast<int64_t>(pending_.front().size());
  return total;
}

void AudioContentBuilder::append(ChannelViews chunk) {
  if (chunk.empty() || chunk.front().empty()) return;
  QUAR_PRECONDITION(chunk.size() == static_cast<size_t>(channelCount_), "Chunk must have one buffer per channel");
  const size_t frames = chunk.front().size();
  for (const auto& buffer : chunk) QUAR_PRECONDITION(buffer.size() >= frames, "Chunk buffers are too short");
  const auto block = static_cast<size_t>(blockFrames);
  size_t offset = 0;
  const auto fillPending = [&](size_t end) {
    while (offset < end) {
      const size_t n = std::min(end - offset, block - pending_.front().size());
      for (size_t c = 0; c < pending_.size(); ++c) {
        const float* source = chunk[c].data() + offset;
        pending_[c].insert(pending_[c].end(), source, source + n);
      }
      if (pending_.front().size() == block) seal();
      offset += n;
    }
  };
  // Complete the pending block; whole blocks inside the chunk are then copied and summarised
  // concurrently, in the order they join the content; the rest starts the next pending block.
  if (!pending_.front().empty()) fillPending(std::min(frames, offset + block - pending_.front().size()));
  const size_t whole = (frames - offset) / block;
  if (whole > 0) {
    std::vector<Segment> blocks(whole);
    parallelFor(static_cast<int64_t>(whole), whole > 1, [&](int64_t k) {
      const auto first = static_cast<ptrdiff_t>(offset + static_cast<size_t>(k) * block);
      std::vector<std::vector<float>> samples;
      for (size_t c = 0; c < pending_.size(); ++c)
        samples.emplace_back(chunk[c].begin() + first, chunk[c].begin() + first + static_cast<ptrdiff_t>(block));
      blocks[static_cast<size_t>(k)] = {AudioBlock::make(std::move(samples)), 0, blockFrames};
    });
    segments_.insert(segments_.end(), std::make_move_iterator(blocks.begin()), std::make_move_iterator(blocks.end()));
    offset += whole * block;
  }
  fillPending(frames);
}

void AudioContentBuilder::append(const std::vector<std::vector<float>>& chunk) {
  if (chunk.empty() || chunk.front().empty()) return;
  std::vector<std::span<const float>> views(chunk.begin(), chunk.end());
  append(ChannelViews(views));
}

void AudioContentBuilder::appendSilence(int64_t frames) {
  if (frames < 1) return;
  const std::vector<float> zeros(static_cast<size_t>(std::min(frames, blockFrames)), 0.0f);
  std::vector<std::span<const float>> chunk(static_cast<size_t>(channelCount_));
  while (frames > 0) {
    const auto n = static_cast<size_t>(std::min<int64_t>(frames, static_cast<int64_t>(zeros.size())));
    for (auto& view : chunk) view = std::span<const float>(zeros).first(n);
    append(ChannelViews(chunk));
    frames -= static_cast<int64_t>(n);
  }
}

void AudioContentBuilder::append(const AudioContent& content) {
  QUAR_PRECONDITION(content.channelCount() == channelCount_, "Appended content must have the builder's channel count");
  flush();
  segments_.insert(segments_.end(), content.segments().begin(), content.segments().end());
}

AudioContent AudioContentBuilder::build() {
  flush();
  return {channelCount_, sampleRate_, segments_};
}

AudioContent AudioContentBuilder::snapshot() const {
  std::vector<Segment> segments = segments_;
  if (!pending_.empty() && !pending_.front().empty()) {
    const auto frames = static_cast<int64_t>(pending_.front().size());
    segments.push_back({AudioBlock::make(pending_), 0, frames});
  }
  return {channelCount_, sampleRate_, std::move(segments)};
}

void AudioContentBuilder::seal() {
  const auto frames = static_cast<int64_t>(pending_.front().size());
  segments_.push_back({AudioBlock::make(std::move(pending_)), 0, frames});
  startPending();
}

void AudioContentBuilder::flush() {
  QUAR_PRECONDITION(!pending_.empty(), "A builder without channels cannot build");
  if (!pending_.front().empty()) seal();
}

void AudioContentBuilder::startPending() {
  pending_.assign(static_cast<size_t>(channelCount_), {});
  for (auto& channel : pending_) channel.reserve(static_cast<size_t>(blockFrames));
}

} // namespace quar
