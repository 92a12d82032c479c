// AudioContentAssembler: collects whole blocks of audio that arrive in any order, possibly from
// several threads at once (a concurrent decode), and builds the content once all are there.
// The producer writes each block straight into a room from `room` (in the block store, see
// BlockSamples); finishing the room computes the block's summary on the finishing thread.
// `room` and finishing are thread-safe and allocate.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "base/BlockRoom.h"
#include "core/AudioContent.h"

namespace quar {

class AudioContentAssembler {
public:
  // channelCount >= 1; sampleRate in Hz.
  AudioContentAssembler(int channelCount, double sampleRate);

  // Room for frames [start, start + frames) (frames >= 1) of `channels` (the assembler's channel
  // count); finishing it with n frames adds frames [start, start + n). The ranges of finished
  // rooms must not overlap. Throws QuarError::outOfSpace when the store has no room.
  std::unique_ptr<BlockRoom> room(int channels, int64_t start, int64_t frames);
  // Frames added so far.
  int64_t frameCount() const;
  // The blocks in frame order; they must join without gaps from frame 0.
  AudioContent build() const;

private:
  class Room;
  void add(BlockRef block, int64_t start);

  int channelCount_;
  double sampleRate_;
  mutable std::mutex mutex_;
  std::map<int64_t, BlockRef> blocks_;  // by first frame
};

} // namespace quar
