// SpectrumAnalyzer: the one-sided power spectrum of an AudioSource in dB (power averaged over
// channels), for one windowed frame centred on a frame or averaged over frames of a range.
// Scaled so that a full-scale sine on a bin centre, and a constant 1 at DC, read 0 dB with every
// window; empty or silent bins read floorDB. Work memory is allocated in the constructor (the
// frame buffers again when the channel count changes). One owner serialises all calls; not for
// the audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"
#include "dsp/Buffers.h"
#include "dsp/RealFFT.h"
#include "dsp/WindowFunction.h"

namespace quar {

class SpectrumAnalyzer {
public:
  static constexpr float floorDB = -200;

  // fftSize must be a power of two in [256, 65536].
  SpectrumAnalyzer(int fftSize, WindowFunction window);
  SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
  SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

  int fftSize() const { return fftSize_; }
  WindowFunction window() const { return window_; }
  int binCount() const { return fftSize_ / 2 + 1; }
  // Centre frequency of `bin` in Hz.
  double frequency(int bin, double sampleRate) const { return sampleRate * bin / fftSize_; }

  // binCount dB values of the frame [frame − fftSize/2, frame + fftSize/2); samples outside the
  // source read as zero.
  std::vector<float> spectrum(const AudioSource& source, int64_t frame);
  // binCount dB values averaged over up to maxFrames half-overlapping frames spread evenly over
  // `range` (default: the whole source; clamped to it). Frames reaching past the range end read
  // zeros there; a range shorter than fftSize is one zero-padded frame; an empty one is all floor.
  std::vector<float> averagedSpectrum(const AudioSource& source, std::optional<FrameRange> range, int maxFrames);

private:
  void accumulateFrame(const AudioSource& source, int64_t start, std::optional<FrameRange> limit);
  std::vector<float> finish(int64_t frames, int channels);

  int fftSize_;
  WindowFunction window_;
  std::unique_ptr<RealFFT> fft_;
  std::vector<float> windowCoefficients_;
  std::unique_ptr<ChannelBuffers> frame_;
  std::vector<float> windowed_, real_, imag_;
  std::vector<float> power_, accum_;
  float powerScale_;
};

} // namespace quar
