// PlaybackEngine: plays one document's content on the output device with its envelopes, a
// loudness gain and the live effect preview. Owns the device stream, open only while playing,
// and the RenderState it shares with the render thread; retires what it replaces there, so
// nothing is ever freed on that thread. When the
// device refuses the content's rate, the stream runs at the device's own rate behind a
// streaming converter, which starts afresh at every seek. GUI thread only; frames are content
// frames.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"
#include "dsp/StreamingResampler.h"
#include "platform/AudioBackend.h"
#include "playback/PlaybackPrefetch.h"
#include "playback/RenderState.h"

class PlaybackEngine {
public:
  explicit PlaybackEngine(AudioBackend& backend = AudioBackend::shared());
  ~PlaybackEngine();
  PlaybackEngine(const PlaybackEngine&) = delete;
  PlaybackEngine& operator=(const PlaybackEngine&) = delete;

  // Makes sure an output stream plays content of this sample rate; reopens it when the rate
  // changed or the stream stopped on its own (after reading the device list afresh). Throws
  // QuarError::unsupportedFormat ("playback format 44100.0 Hz") when neither the content's
  // rate nor the device's own rate with conversion opens, and std::runtime_error for other
  // device failures.
  void ensureGraph(const quar::AudioContent& content);
  // Plays `range` of the content from frame `from`, starting the stream when it is stopped.
  // Errors as ensureGraph, or starting the device; then nothing plays.
  void play(const quar::AudioContent& content, quar::FrameRange range, int64_t from, bool loop, float gain);
  // Silences the program and closes the stream, so that the next play opens the default
  // device anew and the device list can be read afresh meanwhile.
  void stop();
  void setLooping(bool looping);
  bool isLooping() const;
  // Linear gain of everything played.
  void setGain(float gain);
  float gain() const;
  // New content and range for the playing program; position and playing stay.
  void replaceContent(const quar::AudioContent& content, quar::FrameRange range);
  // The envelope set that playback applies.
  void setEnvelopes(quar::EnvelopeSet envelopes);
  // Continues playback from `frame` at the next render cycle.
  void seek(int64_t frame);
  // Frees what was replaced and can no longer be held by the render thread, and primes the
  // converter's spare once a seek used it; call regularly while playing.
  void releaseRetired();

  // The next frame to render (a seek not yet taken included).
  int64_t position() const;
  // The frame being heard now: the position less the output latency, never before the range's
  // lower bound.
  int64_t audiblePosition() const;
  // True once the range ended without loop.
  bool isFinished() const;
  bool isRunning() const;
  // True when the output stream stopped on its own while playing (its device went away or
  // failed): nothing plays any more, and stop() closes it.
  bool outputLost() const;
  // A copy of what plays.
  PlaybackProgram program() const;
  // Shared with the render thread; the effects rack publishes its preview into it.
  const std::shared_ptr<RenderState>& renderState() const { return state_; }

private:
  void closeStream();

  AudioBackend& backend_;
  std::shared_ptr<RenderState> state_;
  PlaybackPrefetch prefetch_{state_};  // keeps what plays resident
  std::optional<double> contentRate_;  // the content rate the open stream plays
  std::unique_ptr<quar::StreamingResampler> converter_;
  std::unique_ptr<AudioStream> stream_;  // after converter_: closes before it goes
  bool devicesStale_ = false;            // a stream stopped on its own since the list was read
};
