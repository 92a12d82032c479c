// ReverbProcessor: an algorithmic reverb. The input channels are summed to mono, high-passed,
// delayed by a gliding pre-delay (up to 250 ms) and smeared by four series allpasses, then feed
// an early-reflection tap line and a 16-line feedback delay network with modulated lengths,
// per-line damping and Hadamard mixing. Each output channel takes its own network row and early
// taps; width and mix blend with the dry signal. At most 8 channels are processed; channels
// beyond them pass through dry (no latency, so they stay aligned). Parameters glide on 32-frame
// control ticks (line lengths over about 300 ms).
// prepare allocates; apply, process and reset allocate and lock nothing (audio-thread safe).
#pragma once

#include <array>
#include <cstdint>

#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/space/SpaceDSP.h"

namespace quar {

class ReverbProcessor final : public ConfigurableEffect {
public:
  static constexpr int maxChannels = 8;
  static constexpr int lineCount = 16;
  using Lanes = std::array<float, lineCount>;

  // Lengths in frames of the four diffusing allpasses: distinct primes near 1.7, 2.9, 4.3, 6.1 ms.
  static std::array<int64_t, 4> diffuserLengths(double sampleRate);
  // Lengths in frames of the network's lines for a size in [0, 1]: strictly rising primes.
  static std::array<int64_t, lineCount> lineLengths(double sampleRate, double size);

  ReverbProcessor();

  // Takes a reverb value (non-finite fields read as the record's defaults); other kinds are
  // ignored. The control ticks glide toward it.
  void apply(const EffectSettings& settings) override;
  // Sample rate must be positive and finite. Channels beyond maxChannels stay dry.
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  void reset() override;
  // Pre-delay + 1.1 × decay + 125 ms.
  int64_t tailFrames() const override;
  int64_t latencyFrames() const override { return 0; }

private:
  struct Targets {
    double preDelay = 2;  // frames
    double lowCut = 100;  // Hz
    float diffusion = 0;
    Lanes lengths{};
    Lanes gain{};
    Lanes pole{};
    float outputGain = 0;
    float width = 0;
    float mix = 0;
  };

  Targets targets() const;
  Lanes currentDelays() const;
  void setDiffusion(float diffusion);
  void controlTick();
  void inputStage(float* const* channels, int count, int offset, int frames);
  void lineStage(int frames);
  void outputStage(float* const* channels, int count, int offset, int frames);

  ReverbSettings settings_;
  double sampleRate_ = 48000;
  int preparedChannels_ = 0;
  bool isPrepared_ = false;

  SpaceStorage<float> preDelayBuffer_{1, 0.0f};
  int64_t preDelayMask_ = 0;
  double preDelay_ = 2;
  double preDelayTarget_ = 2;
  double preDelayGlide_ = 0;

  SpaceStorage<float> diffuserBuffer_{1, 0.0f};
  int64_t diffuserMask_ = 0;
  int64_t diffuserRegion_ = 0;  // floats per stage
  std::array<int64_t, 4> diffuserLengths_{};
  std::array<float, 4> diffuserGain_{};

  SpaceStorage<float> lineBuffer_{1, 0.0f};
  int64_t lineSize_ = 1;
  int64_t lineStride_ = 1;

  Lanes baseLength_{};
  Lanes delayStart_{};
  Lanes delayEnd_{};
  Lanes modPhase_{};
  Lanes modIncrement_{};
  float modDepth_ = 0;
  Lanes allpassState_{};
  Lanes filterState_{};
  Lanes lineGain_{};
  Lanes linePole_{};
  Lanes inputVector_{};

  SpaceStorage<Lanes> outputRows_{maxChannels, Lanes{}};
  SpaceStorage<float> earlyBuffer_{1, 0.0f};
  int64_t earlyMask_ = 0;
  SpaceStorage<int64_t> earlyDelay_{maxChannels * 8, 1};
  SpaceStorage<float> earlyGain_{maxChannels * 8, 0.0f};

  SpaceStorage<float> chunkInput_{32, 0.0f};
  SpaceStorage<float> chunkLines_{32 * lineCount, 0.0f};
  SpaceStorage<float> scratch_{maxChannels, 0.0f};

  SpaceSVFState lowCut_;
  double lowCutHz_ = 100;
  SpaceSVFCoefficients lowCutCoefficients_;

  int64_t writeIndex_ = 0;
  int controlPhase_ = 0;
  double tickCoefficient_ = 0;
  double sizeCoefficient_ = 0;
  SpaceRamp outputGain_;
  SpaceRamp width_;
  SpaceRamp mix_;
  float diffusion_ = 0;
  Targets target_;
};

} // namespace quar
