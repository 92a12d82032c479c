// DistortionProcessor: the built-in "Saturation" effect. Drives the signal into a soft-clip,
// tube or hard-clip waveshaper at 4x (Oversampler4x), or into a bit crusher at the base rate,
// then removes DC (5 Hz), lowpasses with the tone filter, applies the output gain and mixes
// with the dry signal delayed by the same 47 frames. Drive, tone, output and mix glide with a
// 20 ms time constant; a mode change crossfades over 20 ms. Up to 8 channels are processed;
// further channels pass through the 47-frame delay, so every channel carries the latency.
// apply(), process() and reset() allocate and lock nothing (audio-thread safe); prepare()
// allocates.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/BiquadCoefficients.h"
#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/tone/Oversampler4x.h"

namespace quar {

class DistortionProcessor final : public ConfigurableEffect {
public:
  static constexpr int maxChannels = 8;
  static constexpr int latency = Oversampler4x::latencyFrames;

  // Default settings; not prepared.
  DistortionProcessor();

  // Takes the distortion case only. A non-finite drive or output counts as 0 dB, a non-finite
  // tone as 20 kHz, other non-finite fields as the record's defaults; then drive is
  // clamped to [-24, 60] dB, output to [-96, 24] dB, mix to [0, 1], tone to [20 Hz, 0.45·rate],
  // bits to [1, 24] and downsample to [1, 256]. Before prepare the settings take effect at once;
  // after it the values glide and a mode change waits for a running crossfade to end.
  void apply(const EffectSettings& settings) override;
  // A rate that is not positive counts as 48000 Hz; channelCount and maxFrames count as >= 1.
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  // Clears all filter, delay and crusher state and jumps to the target settings.
  void reset() override;
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return latency; }

  // Quantiser levels per unit amplitude for a word length of `bits`: 2^(bits − 1) with bits
  // clamped to [1, 24] (one level at 1 bit or fewer).
  static float crushLevels(double bits);
  // One channel of the bit crusher: input frame i times the gain gain0 + (i+1)·gainStep,
  // clipped to ±1, rounded to a multiple of 1/levels (halves away from zero) and held for
  // `factor` frames. `hold` and `phase` carry across calls; a phase at the largest double makes
  // the next frame take a new value.
  static void crush(const float* input, float* output, int count, double gain0, double gainStep, float levels,
                    double factor, float& hold, double& phase);

private:
  void snapToTarget();
  double driveTarget() const;
  double outputTarget() const;
  double mixTarget() const;
  double toneTarget() const;
  void processBlock(float* const* channels, int channelCount, int offset, int n);
  void mixAndFilter(float* const* channels, int channelCount, int offset, int n);
  void delayPassThrough(float* const* channels, int channelCount, int frameCount);

  DistortionSettings target_;  // non-finite fields already replaced
  double sampleRate_ = 48000;
  int channelCount_ = 0;      // processed channels, at most maxChannels
  int passThroughCount_ = 0;  // further prepared channels, only delayed
  int maxFrames_ = 0;
  bool prepared_ = false;

  double driveDB_ = 0;
  double toneLogHz_ = 0;  // natural logarithm of the tone cutoff in Hz
  double outputDB_ = 0;
  double mix_ = 1;
  SaturationMode mode_ = SaturationMode::soft;
  SaturationMode previousMode_ = SaturationMode::soft;
  double fade_ = 1;  // crossfade position; 1 = no fade running
  float crushLevels_ = 128;
  double crushFactor_ = 1;

  std::vector<std::unique_ptr<Oversampler4x>> oversamplers_;
  std::vector<float> dryLine_;    // channelCount × latency, circular
  std::vector<float> dryBuffer_;  // channelCount × maxFrames
  std::vector<float> wetBuffer_;  // channelCount × maxFrames
  std::vector<float> altWet_;     // maxFrames: crusher output during a crossfade with a shaper
  std::vector<float> altOS_;      // 4 × maxFrames: the old shaper's signal during a crossfade
  std::vector<float> passThroughLine_;  // passThroughCount × latency, circular
  int passThroughPos_ = 0;

  std::array<int, maxChannels> dryPos_{};
  std::array<float, maxChannels> crushHold_{};
  std::array<double, maxChannels> crushPhase_{};
  std::array<double, 4 * maxChannels> filterState_{};  // per channel: x prev, DC out, s1, s2
  BiquadCoefficients tone_;
  double dcRetention_ = 0;
};

} // namespace quar
