// PlaybackEngine: plays one document's content on the output device with its envelopes, a
// loudness gain and the live effect preview. GUI thread only.
#pragma once

#include "core/EnvelopeSet.h"

class PlaybackEngine {
public:
  // The envelope set that playback applies.
  void setEnvelopes(quar::EnvelopeSet envelopes) { envelopes_ = std::move(envelopes); }
  const quar::EnvelopeSet& envelopes() const { return envelopes_; }
  // Whether the playing range repeats.
  void setLooping(bool looping) { looping_ = looping; }
  bool isLooping() const { return looping_; }
  // Linear gain applied to everything played (the loudness preview).
  void setGain(float gain) { gain_ = gain; }
  float gain() const { return gain_; }
  // Stops rendering; the position stays.
  void stop() {}

private:
  quar::EnvelopeSet envelopes_;
  bool looping_ = false;
  float gain_ = 1;
};
