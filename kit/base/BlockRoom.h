// BlockRoom: writable planar storage for one block of audio that a producer which does not see
// the content model (a decoder) fills in place, so that the samples are written once, straight
// into where the block will keep them. The content model hands rooms out and decides where they
// live (the block store or the heap) and what finishing one makes. A room is filled by one
// thread at a time; not for the audio thread.
#pragma once

#include <cstdint>
#include <span>

namespace quar {

class BlockRoom {
public:
  // A room dropped unfinished gives its storage back.
  virtual ~BlockRoom() = default;

  // One pointer per channel to the room's frames, writable until finish().
  virtual std::span<float* const> channels() = 0;
  // The first `frames` (at most the room's) of every channel are complete: they become the
  // block. Called once; may throw (storage for a shorter block, for one).
  virtual void finish(int64_t frames) = 0;
};

} // namespace quar
