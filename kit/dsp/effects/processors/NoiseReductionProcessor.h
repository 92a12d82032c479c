// NoiseReductionProcessor: the built-in "Noise Reduction" effect, a short-time Fourier
// suppressor (periodic Hann, 75 % overlap, transform size from the sample rate: 2048 at 48 kHz).
// Each frame's spectrum is compared with the learnt NoiseProfile (resampled to this rate and
// transform size): a decision-directed a priori SNR gives a Wiener gain, a per-bin estimate of
// signal presence blends it geometrically toward the floor -reductionDB. Output lags the input
// by exactly fftSize frames; without a profile it is the input, delayed. A NaN or infinite
// sample passes through and counts as silence in the spectra. New settings take effect at once.
// apply(), process() and reset() allocate and lock nothing (audio-thread safe); prepare()
// allocates.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "dsp/RealFFT.h"
#include "dsp/effects/ConfigurableEffect.h"

namespace quar {

class NoiseReductionProcessor final : public ConfigurableEffect {
public:
  // Bins of the largest profile kept: a 65536-point transform.
  static constexpr int maxProfileBins = 32769;

  // The transform size for a sample rate (finite): 2^round(log2(rate·2048/48000)) within
  // [256, 16384], i.e. 2048 at 44.1 and 48 kHz, 4096 at 96 kHz.
  static int fftSize(double sampleRate);

  // Default settings, no profile; not prepared.
  NoiseReductionProcessor();

  // Takes the noiseReduction case only. Non-finite fields take the record's defaults, then
  // reduction is clamped to [0, 48] dB, sensitivity to [-12, 12] dB and smoothing to [0, 1]. A
  // profile counts only when it has bins and some bin is above zero; non-finite bin powers
  // count as zero and a profile rate that is not positive and finite as this processor's rate.
  void apply(const EffectSettings& settings) override;
  // A rate that is not positive and finite counts as 48000 Hz; any channel count counts as
  // >= 1, with no upper limit; maxFrames is not needed.
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  // Clears the frame queues and the estimator state (when prepared).
  void reset() override;
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return fftSize_; }

  // The noise power per bin in use (fftSize/2 + 1 values once prepared): the profile resampled
  // to this rate and transform size; zeros without a profile.
  std::span<const float> noisePower() const { return noise_; }

private:
  void updateNoise();
  void updateParameters();
  void processFrame(int channel, bool bypass);
  void computeGains(int channel);

  double reductionDB_ = 18;
  double sensitivityDB_ = 0;
  double smoothing_ = 0.5;
  bool outputNoiseOnly_ = false;

  bool hasProfile_ = false;
  std::vector<float> profileStore_;  // maxProfileBins
  int profileBins_ = 0;
  double profileSampleRate_ = 48000;
  double profileBinHz_ = 1;  // width of one profile bin in Hz

  double sampleRate_ = 48000;
  int preparedChannels_ = 0;
  bool isPrepared_ = false;

  int fftSize_ = 2048;
  int hop_ = 512;
  int binCount_ = 1025;
  std::unique_ptr<RealFFT> fft_;

  std::vector<float> window_, frame_, real_, imag_;
  std::vector<float> power_, rawGain_, gain_, noise_, inverseNoise_;
  float powerScale_ = 0;
  std::vector<float> inputFIFO_, accumulator_, outputFIFO_, previousClean_;  // per channel
  int hopFill_ = 0;
  int bypassRun_ = 0;
  std::vector<float> smoothedSNR_;  // per channel
  std::vector<float> xiBuffer_, expBuffer_, presenceBuffer_;

  int globalHalfWidth_ = 15;
  float ddAlpha_ = 0.95f;
  float neighbourWeight_ = 0.125f;
  float gainFloor_ = 0.125f;
};

} // namespace quar
