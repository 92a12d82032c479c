// PlaybackEngine: plays one document's content on the output device with its envelopes, a
// loudness gain and the live effect preview. GUI thread only.
#pragma once

#include "base/FrameRange.h"
#include "core/AudioContent.h"
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
  // Swaps what is playing (content and range) without a break; position and playing state stay.
  void replaceContent(quar::AudioContent content, quar::FrameRange range) {
    content_ = std::move(content);
    range_ = range;
  }
  const quar::AudioContent& content() const { return content_; }
  quar::FrameRange range() const { return range_; }
  // Moves the play position (frames); while playing, playback continues from there.
  void seek(int64_t frame) { position_ = frame; }
  int64_t position() const { return position_; }

private:
  quar::EnvelopeSet envelopes_;
  quar::AudioContent content_{1, 48000};
  quar::FrameRange range_;
  int64_t position_ = 0;
  bool looping_ = false;
  float gain_ = 1;
};
