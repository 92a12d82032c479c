#include "core/AudioContentAssembler.h"

#include <vector>

#include "base/Precondition.h"

namespace quar {

class AudioContentAssembler::Room final : public BlockRoom {
public:
  Room(AudioContentAssembler& owner, int channels, int64_t start, int64_t frames)
      : owner_(owner), start_(start), samples_(channels, frames), pointers_(samples_.pointers()) {}

  std::span<float* const> channels() override { return pointers_; }
  void finish(int64_t frames) override {
    QUAR_PRECONDITION(frames >= 0 && frames <= samples_.frameCount(), "A room holds no more frames than it was made for");
    if (frames == 0) return;
    if (frames < samples_.frameCount()) samples_ = BlockSamples(samples_, frames);
    owner_.add(AudioBlock::make(std::move(samples_)), start_);
  }

private:
  AudioContentAssembler& owner_;
  int64_t start_;
  BlockSamples samples_;
  std::vector<float*> pointers_;
};

AudioContentAssembler::AudioContentAssembler(int channelCount, double sampleRate)
    : channelCount_(channelCount), sampleRate_(sampleRate) {
  QUAR_PRECONDITION(channelCount >= 1, "AudioContent needs at least one channel");
}

std::unique_ptr<BlockRoom> AudioContentAssembler::room(int channels, int64_t start, int64_t frames) {
  QUAR_PRECONDITION(channels == channelCount_, "A block needs one array per channel");
  QUAR_PRECONDITION(start >= 0 && frames >= 1, "Blocks start at frame 0 or later and hold a frame");
  return std::make_unique<Room>(*this, channels, start, frames);
}

void AudioContentAssembler::add(BlockRef block, int64_t start) {
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
