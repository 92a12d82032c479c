// ChorusProcessor: chorus and flanger. Up to four sine-modulated read taps (voices) on one
// short delay line (about 100 ms) per channel, with feedback into the line, a per-channel LFO
// phase offset (stereo spread) and a dry/wet mix. Parameters glide on 32-frame control ticks;
// voice delays and gains are interpolated linearly within a tick.
// prepare allocates; apply, process and reset allocate and lock nothing (audio-thread safe).
#pragma once

#include <array>
#include <cstdint>

#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/space/SpaceDSP.h"

namespace quar {

class ChorusProcessor final : public ConfigurableEffect {
public:
  using Voices = std::array<float, 4>;

  ChorusProcessor();

  // Takes a chorus value (non-finite fields read as the record's defaults); other kinds are
  // ignored. The control ticks glide toward it.
  void apply(const EffectSettings& settings) override;
  // Sample rate must be positive and finite.
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  void reset() override;
  int64_t tailFrames() const override;
  int64_t latencyFrames() const override { return 0; }

private:
  struct Targets {
    double baseMs;
    double sweep;
    double spread;
    Voices gains;
    float feedback;
    float mix;
  };

  Targets targets() const;
  Voices voiceDelays(int channel) const;
  void controlTick();
  void processChannel(int channel, float* samples, int frames);

  ChorusSettings settings_;
  double sampleRate_ = 48000;
  int preparedChannels_ = 0;
  bool isPrepared_ = false;
  SpaceStorage<float> storage_{1, 0.0f};
  int64_t lineSize_ = 1;
  int64_t writeIndex_ = 0;
  int controlPhase_ = 0;
  double tickCoefficient_ = 0;
  SpaceStorage<Voices> delayStart_{1, Voices{}};
  SpaceStorage<Voices> delayEnd_{1, Voices{}};
  Voices gainStart_{};
  Voices gainEnd_{};
  int activeVoices_ = 1;
  double lfoPhase_ = 0;
  double baseMs_ = 15;
  double sweep_ = 0;
  double spread_ = 0;
  Voices voiceGains_{};
  SpaceRamp feedback_;
  SpaceRamp mix_;
};

} // namespace quar
