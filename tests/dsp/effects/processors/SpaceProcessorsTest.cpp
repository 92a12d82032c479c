// Behaviour shared by the delay, chorus/flanger and reverb processors.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "dsp/effects/processors/ChorusProcessor.h"
#include "dsp/effects/processors/DelayProcessor.h"
#include "dsp/effects/processors/ReverbProcessor.h"
#include "dsp/effects/processors/SpaceTestSignals.h"

using namespace quar;
using namespace quar::spacetest;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

struct Kind {
  std::string name;
  std::function<std::unique_ptr<ConfigurableEffect>()> make;
  EffectSettings changed;                              // differs from the defaults in every number
  std::function<EffectSettings(double)> allFieldsSet;  // every number set to the argument
};

std::vector<Kind> kinds() {
  DelaySettings delay{120, 1.5, 0.6, 0.7, false, 150, 5000};
  ChorusSettings chorus{ModulationMode::flanger, 2.5, 0.8, 4, 0.4, 3, 1, 0.8};
  ReverbSettings reverb{5, 0.9, 0.3, 0.2, 0.5, 0.6, 200, 0.6};
  return {
      {"delay", [] { return std::make_unique<DelayProcessor>(); }, delay,
       [](double v) { return EffectSettings(DelaySettings{v, v, v, v, false, v, v}); }},
      {"chorus", [] { return std::make_unique<ChorusProcessor>(); }, chorus,
       [](double v) { return EffectSettings(ChorusSettings{ModulationMode::chorus, v, v, v, v, 2, v, v}); }},
      {"reverb", [] { return std::make_unique<ReverbProcessor>(); }, reverb,
       [](double v) { return EffectSettings(ReverbSettings{v, v, v, v, v, v, v, v}); }},
  };
}

Planar render(ConfigurableEffect& processor, Planar signal, int blockSize) {
  processor.prepare(48000, static_cast<int>(signal.size()), blockSize);
  runBlocks(processor, signal, blockSize);
  return signal;
}

Planar render(const Kind& kind, const EffectSettings& settings, const Planar& signal, int blockSize = 256) {
  auto processor = kind.make();
  processor->apply(settings);
  return render(*processor, signal, blockSize);
}

} // namespace

TEST(SpaceProcessors, NonFiniteFieldsPlayAsTheDefaults) {
  const Planar input = noise(2, 6000);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    const Planar defaults = render(kind, defaultSettings(quar::kind(kind.changed)), input);
    for (double value : {notANumber, infinity, -infinity}) {
      SCOPED_TRACE(value);
      const Planar out = render(kind, kind.allFieldsSet(value), input);
      EXPECT_EQ(out, defaults);
      auto processor = kind.make();
      processor->apply(kind.allFieldsSet(value));
      processor->prepare(48000, 2, 256);
      EXPECT_EQ(processor->tailFrames(), [&] {
        auto reference = kind.make();
        reference->prepare(48000, 2, 256);
        return reference->tailFrames();
      }());
    }
  }
}

TEST(SpaceProcessors, SettingsOfAnotherKindAreIgnored) {
  const Planar input = noise(2, 4000);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    auto processor = kind.make();
    processor->apply(kind.changed);
    processor->apply(CompressorSettings());
    processor->apply(kind.name == "reverb" ? EffectSettings(DelaySettings()) : EffectSettings(ReverbSettings()));
    EXPECT_EQ(render(*processor, input, 256), render(kind, kind.changed, input));
  }
}

TEST(SpaceProcessors, OutputDoesNotDependOnBlockSizes) {
  const Planar input = noise(2, 5000);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    const Planar reference = render(kind, kind.changed, input, 512);
    for (int blockSize : {1, 7, 32, 33, 1000}) {
      SCOPED_TRACE(blockSize);
      EXPECT_EQ(render(kind, kind.changed, input, blockSize), reference);
    }
  }
}

TEST(SpaceProcessors, ResetForgetsEverythingHeard) {
  const Planar first = noise(2, 3000, 1);
  const Planar second = noise(2, 3000, 2);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    auto processor = kind.make();
    processor->apply(kind.changed);
    render(*processor, first, 128);
    processor->apply(defaultSettings(quar::kind(kind.changed)));
    Planar heard = first;
    runBlocks(*processor, heard, 100);  // mid-tick, mid-glide
    processor->reset();
    Planar afterReset = second;
    runBlocks(*processor, afterReset, 128);
    EXPECT_EQ(afterReset, render(kind, defaultSettings(quar::kind(kind.changed)), second, 128));
  }
}

TEST(SpaceProcessors, ParameterChangesGlide) {
  // A jump in settings arrives over several ticks: the first block after the change differs from
  // both the old and the new steady state.
  const Planar input = noise(1, 480, 4);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    auto processor = kind.make();
    processor->prepare(48000, 1, 480);
    processor->apply(kind.changed);
    Planar gliding = input;
    runBlocks(*processor, gliding, 480);
    const Planar jumped = render(kind, kind.changed, input, 480);
    const Planar old = render(kind, defaultSettings(quar::kind(kind.changed)), input, 480);
    EXPECT_NE(gliding, jumped);
    EXPECT_NE(gliding, old);
  }
}

TEST(SpaceProcessors, UnpreparedOrEmptyCallsLeaveTheBuffer) {
  Planar signal = noise(2, 64);
  const Planar input = signal;
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    auto processor = kind.make();
    processor->reset();
    runBlocks(*processor, signal, 64);
    EXPECT_EQ(signal, input);
    processor->prepare(48000, 2, 64);
    std::vector<float*> pointers{signal[0].data(), signal[1].data()};
    processor->process(pointers.data(), 2, 0);
    EXPECT_EQ(signal, input);
  }
}

TEST(SpaceProcessors, ChannelsBeyondThePreparedCountAreUntouched) {
  const Planar input = noise(3, 2000);
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    auto processor = kind.make();
    processor->apply(kind.changed);
    processor->prepare(48000, 2, 256);
    Planar out = input;
    runBlocks(*processor, out, 256);
    EXPECT_NE(out[0], input[0]);
    EXPECT_EQ(out[2], input[2]);
  }
}

// A NaN or infinity stays out of the lines and the tank: every other sample comes out as if it had
// been silent (ping-pong too, which feeds both channels into one line).
TEST(SpaceProcessors, ANonFiniteSampleCountsAsSilence) {
  DelaySettings delay;
  delay.feedback = 0.9;
  DelaySettings pingPong = delay;
  pingPong.pingPong = true;
  ChorusSettings chorus;
  chorus.feedback = 0.9;
  ReverbSettings reverb;
  reverb.decaySeconds = 0.5;
  const std::pair<const char*, EffectSettings> cases[] = {
      {"delay", delay}, {"ping-pong delay", pingPong}, {"chorus", chorus}, {"reverb", reverb}};
  for (const auto& [name, settings] : cases) {
    SCOPED_TRACE(name);
    const auto run = [&](std::vector<std::vector<float>> audio) {
      std::unique_ptr<ConfigurableEffect> processor;
      if (std::holds_alternative<DelaySettings>(settings))
        processor = std::make_unique<DelayProcessor>();
      else if (std::holds_alternative<ChorusSettings>(settings))
        processor = std::make_unique<ChorusProcessor>();
      else
        processor = std::make_unique<ReverbProcessor>();
      processor->apply(settings);
      processor->prepare(48000, 2, 256);
      for (size_t start = 0; start < audio[0].size(); start += 256) {
        float* channels[] = {audio[0].data() + start, audio[1].data() + start};
        processor->process(channels, 2, static_cast<int>(std::min<size_t>(256, audio[0].size() - start)));
      }
      return audio;
    };
    std::vector<std::vector<float>> clean(2, std::vector<float>(48000, 0.25f));
    std::vector<std::vector<float>> dirty = clean;
    dirty[0][100] = std::numeric_limits<float>::quiet_NaN();
    dirty[1][300] = std::numeric_limits<float>::infinity();
    clean[0][100] = clean[1][300] = 0;
    std::vector<std::vector<float>> out = run(dirty);
    const std::vector<std::vector<float>> expected = run(clean);
    EXPECT_FALSE(std::isfinite(out[0][100]));
    EXPECT_FALSE(std::isfinite(out[1][300]));
    out[0][100] = expected[0][100];
    out[1][300] = expected[1][300];
    EXPECT_EQ(out, expected);
  }
}
