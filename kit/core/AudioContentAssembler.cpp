#include "core/AudioContentAssembler.h"

#include "base/Precondition.h"

namespace quar {

AudioContentAssembler::AudioContentAssembler(int channelCount, double sampleRate)
    : channelCount_(channelCount), sampleRate_(sampleRate) {
  QUAR_PRECONDITION(channelCount >= 1, "AudioContent needs at least one channel");
}

void AudioContentAssembler::add(std::vector<std::vector<float>>&& channels, int64_t start) {
  QUAR_PRECONDITION(channels.size() == static_cast<size_t>(channelCount_), "A block needs one array per channel");
  QUAR_PRECONDITION(start >= 0, "Blocks start at frame 0 or later");
  if (channels.front().empty()) return;
  BlockRef block = AudioBlock::make(std::move(channels));
  std::lock_guard lock(mutex_);
  QUAR_PRECONDITION(blocks_.emplace(start, std::move(block)).second, "Two blocks start at one frame");
}

int64_t AudioContentAssembler::frameCount() const {
  std::lock_guard lock(mutex_);
  int64_t total = 0;
  for (const auto& entry : blocks_) total += entry.second->frameCount();
  return total;
}

AudioContent AudioContentAssembler::build() const {
  std::lock_guard lock(mutex_);
  std::vector<Segment> segments;
  segments.reserve(blocks_.size());
  int64_t next = 0;
  for (const auto& [start, block] : blocks_) {
    QUAR_PRECONDITION(start == next, "Assembled blocks must join without gaps or overlaps");
    segments.push_back({block, 0, block->frameCount()});
    next += block->frameCount();
  }
  return {channelCount_, sampleRate_, std::move(segments)};
}

} // namespace quar
