// GateProcessor: a noise gate for up to 8 channels (further channels pass untouched). A peak
// envelope (20 ms hold, 10 ms decay) opens the gate at the threshold and lets it close below
// threshold − hysteresis (dB) after the hold time (ms); the gain moves between the range (the
// gain while closed, dB ≤ 0) and 1 along a smoothstep curve over the attack and release times.
// A changed range glides (10 ms); everything else switches at once. apply(), process() and
// reset() allocate and lock nothing (audio-thread safe); prepare() allocates.
// gainReductionDB() may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "dsp/effects/ConfigurableEffect.h"

namespace quar {

class GateProcessor final : public ConfigurableEffect, public GainReductionMetering {
public:
  static constexpr int maxChannels = 8;

  // Default settings; not prepared.
  GateProcessor();

  // Takes the gate case only. A non-finite hysteresis or hold counts as 0, any other non-finite
  // field as its default.
  void apply(const EffectSettings& settings) override;
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  // Closes the gate and jumps to the target range.
  void reset() override;
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }

  // Gain reduction in dB (>= 0) at the end of the last block; the range's after reset. A
  // relaxed atomic read.
  float gainReductionDB() const override;

private:
  void updateDerived();
  void changeLinking(bool linked, int c);
  void processBlock(float* const* channels, int c, int offset, int n);
  void publish(double gain);

  GateSettings settings_;
  double sampleRate_ = 48000;
  int channelCount_ = 1;
  int maxFrames_ = 1;
  bool prepared_ = false;

  float openLevel_ = 0;
  float closeLevel_ = 0;
  int64_t holdFrames_ = 0;
  double attackStep_ = 1;   // position change per sample while opening
  double releaseStep_ = 1;  // and while closing
  double targetRange_ = 1;  // linear gain while closed
  int64_t detectorHoldFrames_ = 0;
  float detectorDecay_ = 0;
  double rangeRetention_ = 0;

  std::array<float, maxChannels> envelope_{};
  std::array<int64_t, maxChannels> envelopeHold_{};
  std::array<bool, maxChannels> isOpen_{};
  std::array<int64_t, maxChannels> holdLeft_{};
  std::array<double, maxChannels> position_{};  // 0 (closed) to 1 (open)
  double range_ = 1;
  std::vector<float> gains_;  // channelCount × maxFrames
  std::atomic<uint32_t> reductionBits_{0};
  bool wasLinked_ = true;
};

} // namespace quar
