// PlaybackProgram: everything the render thread needs to know about what to play. A plain
// value behind RenderState's program lock; content and envelopes are shared and immutable, so
// the render thread's copy only counts references (the GUI thread retires replaced ones, so
// the render thread never drops the last). Frames are content frames; gain is linear.
#pragma once

#include <memory>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"

struct PlaybackProgram {
  std::shared_ptr<const quar::AudioContent> content;
  quar::FrameRange range;  // playback ends or wraps at its upper bound
  bool loop = false;       // wrap to the lower bound instead of finishing
  float gain = 1;          // the loudness preview's gain; 1 when off
  bool playing = false;    // sound only while true
  std::shared_ptr<const quar::EnvelopeSet> envelope;  // never null in a RenderState
  bool envelopeActive = false;                        // exactly when `envelope` is not flat
};
