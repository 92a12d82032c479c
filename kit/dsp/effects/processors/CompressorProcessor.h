// CompressorProcessor: a feed-forward compressor for up to 8 channels (further channels pass
// untouched): peak or RMS level detection in dB, the static curve of CompressorSettings with
// threshold, ratio and soft knee, attack/release smoothing of the gain change, make-up gain,
// a dry/wet mix on the gain, optional stereo link. Threshold, ratio, knee, make-up and mix
// glide with a 20 ms time constant. apply(), process() and reset() allocate and lock nothing
// (audio-thread safe); prepare() allocates. gainReductionDB() may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "dsp/effects/ConfigurableEffect.h"

namespace quar {

class CompressorProcessor final : public ConfigurableEffect, public GainReductionMetering {
public:
  static constexpr int maxChannels = 8;

  // Default settings; not prepared.
  CompressorProcessor() = default;

  // Takes the compressor case only, beyond the editor's ranges too. A non-finite field becomes
  // its default; mix counts within [0, 1]; a ratio below 1 compresses nothing; times of 0.001 ms
  // or less count as 1 µs. Threshold, knee and make-up beyond ±1e6 dB and ratios beyond 1e6 act
  // as those bounds, and the gain stays below 2^127, so the output cannot turn NaN. Before prepare
  // the settings take effect at once; after it the levels and the mix glide, while attack,
  // release, detection, link and automatic make-up switch at once.
  void apply(const EffectSettings& settings) override;
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  // Clears the detector and smoother state and jumps to the target settings.
  void reset() override;
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }

  // Gain reduction in dB (>= 0) of the first channel's gain computer at the end of the last
  // block; 0 after reset. A relaxed atomic read.
  float gainReductionDB() const override;

private:
  bool isGliding() const;
  void updateTimeConstants();
  void processBlock(float* const* channels, int c, int offset, int n);
  void detect(float* const* channels, int c, int offset, int n, bool linked);
  void computeGain(int g, int n, bool linked, bool gliding);
  void publish(double smoothedDB);

  CompressorSettings target_;
  CompressorSettings current_;  // threshold, ratio and knee glide toward target_
  double makeupDB_ = 0;
  double mix_ = 1;
  double sampleRate_ = 48000;
  int channelCount_ = 1;
  int maxFrames_ = 1;
  bool prepared_ = false;
  double attackRetention_ = 0;
  double releaseRetention_ = 0;
  double rmsRetention_ = 0;
  double glideRetention_ = 0;
  std::vector<float> scratch_;   // channelCount × maxFrames: levels in dB, then gains
  std::vector<float> mixCurve_;  // per-sample mix while the mix glides
  std::array<double, maxChannels> smoothed_{};    // gain change in dB per gain computer
  std::array<double, maxChannels> meanSquare_{};  // RMS detector state per channel
  // The gliding values reached by the last gain computer run, stored after the block.
  double glidedThreshold_ = 0, glidedRatio_ = 0, glidedKnee_ = 0, glidedMakeup_ = 0, glidedMix_ = 0;
  std::atomic<uint32_t> reductionBits_{0};
};

} // namespace quar
