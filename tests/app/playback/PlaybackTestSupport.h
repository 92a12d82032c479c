// Helpers of the playback tests: content from formulas, a program installed into a render
// state, output buffers for a render call, and effect processors that scale, count and probe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/AudioContent.h"
#include "dsp/effects/ConfigurableEffect.h"
#include "playback/RenderState.h"

namespace PlaybackTestSupport {

// `channels` channels of `frames` frames; sample (c, f) = value(c, f).
inline quar::AudioContent makeContent(int channels, int64_t frames, const std::function<float(int, int64_t)>& value,
                                      double rate = 48000) {
  std::vector<std::vector<float>> samples(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int64_t f = 0; f < frames; ++f) samples[static_cast<size_t>(c)][static_cast<size_t>(f)] = value(c, f);
  return quar::AudioContent(samples, rate);
}

// A distinct, exactly representable value per channel and frame.
inline float ramp(int channel, int64_t frame) {
  return static_cast<float>(channel + 1) * 0.01f + static_cast<float>(frame % 1000) * 1e-5f;
}

// Installs a playing program over the content.
inline void installProgram(RenderState& state, const quar::AudioContent& content, quar::FrameRange range,
                           bool loop = false, float gain = 1) {
  state.update([&](PlaybackProgram& p) {
    p.content = std::make_shared<const quar::AudioContent>(content);
    p.range = range;
    p.loop = loop;
    p.gain = gain;
    p.playing = true;
  });
}

// Output buffers for one render call, pre-filled with garbage to show what render writes.
struct Output {
  Output(int channels, int64_t frames)
      : buffers(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames), 7.0f)) {
    for (auto& b : buffers) pointers.push_back(b.data());
  }
  // Renders into the buffers; returns the silence flag.
  bool render(RenderState& state) {
    bool silence = false;
    state.render(static_cast<int64_t>(buffers.empty() ? 0 : buffers[0].size()), pointers, &silence);
    return silence;
  }
  bool allZero() const {
    for (const auto& b : buffers)
      for (float v : b)
        if (v != 0) return false;
    return true;
  }
  std::vector<std::vector<float>> buffers;
  std::vector<float*> pointers;
};

// Multiplies every sample by its factor; settings of the distortion kind set the factor to
// their mix. Counts the settings applied and, when `blocks` has room reserved, records the
// frames of each block (render must not grow it).
class ScaleEffect final : public quar::ConfigurableEffect {
public:
  explicit ScaleEffect(float factor = 0.5f) : factor(factor) {}
  void prepare(double, int, int) override {}
  void process(float* const* channels, int channelCount, int frameCount) override {
    if (blocks.size() < blocks.capacity()) blocks.push_back(frameCount);
    for (int c = 0; c < channelCount; ++c)
      for (int i = 0; i < frameCount; ++i) channels[c][i] *= factor;
  }
  void reset() override {}
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }
  void apply(const quar::EffectSettings& settings) override {
    ++applied;
    if (const auto* s = std::get_if<quar::DistortionSettings>(&settings)) factor = static_cast<float>(s->mix);
  }

  float factor;
  int applied = 0;
  std::vector<int> blocks;
};

// A processor without settings (like a hosted plug-in) that calls `onProcess` per block.
class ProbeEffect final : public quar::EffectProcessor {
public:
  explicit ProbeEffect(std::function<void()> onProcess) : onProcess_(std::move(onProcess)) {}
  void prepare(double, int, int) override {}
  void process(float* const*, int, int) override { onProcess_(); }
  void reset() override {}
  int64_t tailFrames() const override { return 0; }
  int64_t latencyFrames() const override { return 0; }

private:
  std::function<void()> onProcess_;
};

// Settings that ScaleEffect takes: factor `mix`.
inline quar::EffectSettings scaleSettings(double mix) {
  quar::DistortionSettings s;
  s.mix = mix;
  return s;
}

} // namespace PlaybackTestSupport
