// StreamingResampler: real-time sample-rate conversion of a pulled stream of planar float
// audio (libsoxr, very high quality), for an audio device that runs at another rate than the
// material. Construction allocates every buffer and primes the converter with silence, and
// prepareSpare() a spare one for reset(), so that process() and reset() allocate, free and lock
// nothing and may run on the audio thread. The output lags the input by delayFrames() output
// frames. process() and reset() belong to one thread at a time (the audio thread), the rest
// to another (the control thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "dsp/SoxrConverter.h"

namespace quar {

class StreamingResampler {
public:
  // The source of input.
  class Input {
  public:
    // Fills `frames` frames of each of `channels` planar buffers.
    virtual void pull(float* const* channels, int frames) = 0;
    // Whether the frames of the last pull do not follow on from the ones before (a seek): the
    // converter then starts afresh with them, as after reset().
    virtual bool jumped() const { return false; }

  protected:
    ~Input() = default;
  };

  // Input frames asked of the source at a time.
  static constexpr int inputChunk = 1024;

  // Converts `from` Hz to `to` Hz (both finite and > 0) for channels >= 1. Throws
  // QuarError::unsupportedFormat ("44100.0 Hz -> 48000.0 Hz") when no converter can be made.
  StreamingResampler(double from, double to, int channels);
  StreamingResampler(const StreamingResampler&) = delete;
  StreamingResampler& operator=(const StreamingResampler&) = delete;

  // Fills `frames` frames of each of the output channels, pulling input chunks as needed.
  void process(float* const* outputs, int frames, Input& input);
  // Drops the buffered input: from the next process() on, the output is what a new resampler
  // would make of the input that follows. Switches to the spare converter; returns false when
  // prepareSpare() has not primed one since the last switch (then only the input not yet taken
  // by the converter is dropped).
  bool reset();
  // Control thread: primes a spare converter unless one is waiting. Allocates; may run while
  // process() runs on the audio thread.
  void prepareSpare();
  // Output frames by which the output lags the input.
  int64_t delayFrames() const { return delay_; }

private:
  // A new converter that went through the priming, or null.
  SoxrConverter primedConverter() const;
  void startAfresh();

  double from_;
  double to_;
  int channels_;
  SoxrConverter converter_;
  SoxrConverter spare_;               // primed; the control thread's while spareReady_ is false
  std::atomic<bool> spareReady_{false};
  bool fresh_ = true;                 // converter_ has taken no input since it was primed
  std::vector<std::vector<float>> input_;  // channels x inputChunk
  std::vector<float*> inputPointers_;
  std::vector<const float*> inputCursor_;
  std::vector<float*> outputCursor_;
  int available_ = 0;  // input frames not yet consumed, at the end of input_
  int64_t delay_ = 0;
};

} // namespace quar
