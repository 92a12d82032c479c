// AudioContentAssembler: collects whole blocks of audio that arrive in any order, possibly from
// several threads at once (a concurrent decode), and builds the content once all are there.
// `add` is thread-safe and computes the block's summary on the calling thread; it allocates.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "core/AudioContent.h"

namespace quar {

class AudioContentAssembler {
public:
  // channelCount >= 1; sampleRate in Hz.
  AudioContentAssembler(int channelCount, double sampleRate);

  // Takes frames [start, start + length) as planar arrays (channelCount of them, all of one
  // length); ranges of different calls must not overlap.
  void add(std::vector<std::vector<float>>&& channels, int64_t start);
  // Frames added so far.
  int64_t frameCount() const;
  // The blocks in frame order; they must join without gaps from frame 0.
  AudioContent build() const;

private:
  int channelCount_;
  double sampleRate_;
  mutable std::mutex mutex_;
  std::map<int64_t, BlockRef> blocks_;  // by first frame
};

} // namespace quar
