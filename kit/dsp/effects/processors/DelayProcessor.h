// DelayProcessor: the echo effect. One delay line per channel (up to 4 s; the odd line of each
// pair up to 16 s) with a gliding, cubic-interpolated read, a feedback path through high-cut and
// low-cut filters and a soft clip, and optional ping-pong routing of channel pairs. Parameters
// glide on 32-frame control ticks; the delay time glides per sample (about 100 ms).
// prepare allocates; apply, process and reset allocate and lock nothing (audio-thread safe).
#pragma once

#include <cstdint>

#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/space/SpaceDSP.h"

namespace quar {

class DelayProcessor final : public ConfigurableEffect {
public:
  DelayProcessor();

  // Takes a delay value (non-finite fields read as the record's defaults); other kinds are
  // ignored. Delay times retarget at once when prepared; everything else follows on the ticks.
  void apply(const EffectSettings& settings) override;
  // Sample rate must be positive and finite.
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  void reset() override;
  // Frames until the echoes fall by 60 dB, plus 50 ms; at most 30 s.
  int64_t tailFrames() const override;
  int64_t latencyFrames() const override { return 0; }

private:
  struct Line {
    double delay = 2;   // read delay in frames
    double glide = 2;   // first smoothing stage toward target
    double target = 2;
    SpaceSVFState lowCut;
    SpaceSVFState highCut;
  };

  double leftFrames() const;
  double rightFrames() const;
  double lineTarget(int64_t line) const;
  void controlTick();
  void glide(Line& line) const;
  float filteredRead(Line& line, const float* buffer, int64_t mask, int64_t w) const;
  void processLine(int64_t line, float* samples, int frames);
  void processPingPong(int64_t pair, float* left, float* right, int frames);

  DelaySettings settings_;
  double sampleRate_ = 48000;
  int preparedChannels_ = 0;
  bool isPrepared_ = false;
  SpaceStorage<float> storage_{1, 0.0f};
  SpaceStorage<int64_t> offsets_{1, 0};
  SpaceStorage<int64_t> masks_{1, 0};
  SpaceStorage<Line> lines_{1, Line{}};
  int64_t lineCount_ = 0;
  int64_t writeIndex_ = 0;
  int controlPhase_ = 0;
  double glideCoefficient_ = 0;
  SpaceRamp feedback_;
  SpaceRamp mix_;
  double lowCutHz_ = 80;
  double highCutHz_ = 8000;
  double tickCoefficient_ = 0;
  SpaceSVFCoefficients lowCutCoefficients_;
  SpaceSVFCoefficients highCutCoefficients_;
};

} // namespace quar
