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

AudioContentBuilder::AudioContentBuilder(int channelCount, double sampleRate, BlockSamples::Placement placement)
    : channelCount_(channelCount), sampleRate_(sampleRate), placement_(placement) {
  QUAR_PRECONDITION(channelCount >= 0, "Channel count must not be negative");
}

int64_t AudioContentBuilder::frameCount() const {
  int64_t total = pendingFrames_;
  for (const auto& segment : segments_) total += segment.count;
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
      if (!pending_) pending_.emplace(channelCount_, blockFrames, placement_);
      const size_t n = std::min(end - offset, block - static_cast<size_t>(pendingFrames_));
      for (int c = 0; c < channelCount_; ++c) {
        const float* source = chunk[static_cast<size_t>(c)].data() + offset;
        std::copy(source, source + n, pending_->channel(c) + pendingFrames_);
      }
      pendingFrames_ += static_cast<int64_t>(n);
      if (pendingFrames_ == blockFrames) seal();
      offset += n;
    }
  };
  // Complete the pending block; whole blocks inside the chunk are then copied and summarised
  // concurrently, in the order they join the content; the rest starts the next pending block.
  if (pendingFrames_ > 0) fillPending(std::min(frames, offset + block - static_cast<size_t>(pendingFrames_)));
  const size_t whole = (frames - offset) / block;
  if (whole > 0) {
    std::vector<Segment> blocks(whole);
    parallelFor(static_cast<int64_t>(whole), whole > 1, [&](int64_t k) {
      const size_t first = offset + static_cast<size_t>(k) * block;
      BlockSamples samples(channelCount_, blockFrames, placement_);
      for (int c = 0; c < channelCount_; ++c)
        std::copy_n(chunk[static_cast<size_t>(c)].data() + first, block, samples.channel(c));
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
  if (pendingFrames_ > 0) {
    segments.push_back(
        {AudioBlock::make(BlockSamples(*pending_, pendingFrames_, BlockSamples::Placement::heap)), 0, pendingFrames_});
  }
  return {channelCount_, sampleRate_, std::move(segments)};
}

void AudioContentBuilder::seal() {
  segments_.push_back({AudioBlock::make(std::move(*pending_)), 0, pendingFrames_});
  pending_.reset();
  pendingFrames_ = 0;
}

void AudioContentBuilder::flush() {
  QUAR_PRECONDITION(channelCount_ > 0, "A builder without channels cannot build");
  if (pendingFrames_ == 0) return;
  if (pendingFrames_ == blockFrames) return seal();
  // A short block gets storage of its own length; the pending storage is kept for what follows.
  segments_.push_back({AudioBlock::make(BlockSamples(*pending_, pendingFrames_, placement_)), 0, pendingFrames_});
  pendingFrames_ = 0;
}

} // namespace quar
