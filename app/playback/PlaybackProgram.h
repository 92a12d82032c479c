// PlaybackProgram: everything the render thread needs to know about what to play. A plain
// value; RenderState publishes each one immutable, and its content and envelopes are shared
// and immutable too, so the render thread reads them in place and never counts a reference.
// Frames are content frames; gain is linear.
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
