// StreamingResampler: real-time sample-rate conversion of a pulled stream of planar float
// audio (libsoxr, very high quality), for an audio device that runs at another rate than the
// material. Construction allocates every buffer and primes the converter with silence, so
// that process() allocates, frees and locks nothing and may run on the audio thread. The
// output lags the input by delayFrames() output frames. One thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/SoxrConverter.h"

namespace quar {

class StreamingResampler {
public:
  // The source of input: fills `frames` frames of each of `channels` planar buffers.
  class Input {
  public:
    virtual void pull(float* const* channels, int frames) = 0;

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
  // Output frames by which the output lags the input.
  int64_t delayFrames() const { return delay_; }

private:
  // Output frames converted per converter call at most.
  static constexpr int outputChunk = 2048;

  int channels_;
  SoxrConverter converter_;
  std::vector<std::vector<float>> input_;  // channels x inputChunk
  std::vector<float*> inputPointers_;
  std::vector<const float*> inputCursor_;
  std::vector<float*> outputCursor_;
  int available_ = 0;  // input frames not yet consumed, at the end of input_
  int64_t delay_ = 0;
};

} // namespace quar
