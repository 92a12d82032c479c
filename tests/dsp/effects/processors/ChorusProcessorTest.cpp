#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/effects/processors/ChorusProcessor.h"
#include "dsp/effects/processors/SpaceTestSignals.h"

using namespace quar;
using namespace quar::spacetest;

namespace {

constexpr double sampleRate = 48000;

ChorusSettings wetOnly(ModulationMode mode, double delayMs, double depth, double rateHz) {
  ChorusSettings s;
  s.mode = mode;
  s.delayMs = delayMs;
  s.depth = depth;
  s.rateHz = rateHz;
  s.voices = 1;
  s.feedback = 0;
  s.mix = 1;
  return s;
}

Planar run(const ChorusSettings& settings, Planar signal, int blockSize = 512) {
  ChorusProcessor chorus;
  chorus.apply(settings);
  chorus.prepare(sampleRate, static_cast<int>(signal.size()), blockSize);
  runBlocks(chorus, signal, blockSize);
  return signal;
}

// A single voice reading a linear ramp returns the ramp at the read position, so the read delay
// of every frame can be recovered from the output.
constexpr float rampSlope = 2e-5f;

std::vector<std::vector<double>> readDelays(const ChorusSettings& settings, int channels, int64_t frames) {
  Planar ramp = silence(channels, frames);
  for (auto& channel : ramp)
    for (size_t n = 0; n < channel.size(); ++n) channel[n] = rampSlope * static_cast<float>(n);
  const Planar out = run(settings, ramp);
  std::vector<std::vector<double>> delays(static_cast<size_t>(channels));
  for (size_t ch = 0; ch < out.size(); ++ch)
    for (size_t n = 0; n < out[ch].size(); ++n)
      delays[ch].push_back(static_cast<double>(n) - static_cast<double>(out[ch][n]) / rampSlope);
  return delays;
}

} // namespace

TEST(ChorusProcessor, ReadDelayFollowsTheSweptSine) {
  struct Case {
    ModulationMode mode;
    double delayMs;
    double depth;
    double rateHz;
    double sweep;     // expected fraction of the base delay
    double lfoHz;     // expected LFO rate
  };
  for (const Case& c : {
           Case{ModulationMode::flanger, 10, 1, 1, 0.95, 1},     // the flanger sweeps 95 % of the depth
           Case{ModulationMode::flanger, 10, 3, 1, 0.95, 1},     // depth is held to 1
           Case{ModulationMode::chorus, 1, 1, 10, 0.5, 10},      // 1 ms base: at most a 50 % sweep
           Case{ModulationMode::chorus, 20, 1, 2, 0.25, 2},      // sweep = depth × 5 / base
           Case{ModulationMode::chorus, 0.1, 0.5, 3, 0.25, 3},   // base held to 0.5 ms
           Case{ModulationMode::chorus, 15, 0.6, 0, 0.2, 0.05},  // rate 0 runs at 0.05 Hz
           Case{ModulationMode::chorus, 15, 0.6, 50, 0.2, 10},   // and at most at 10 Hz
       }) {
    SCOPED_TRACE(testing::Message() << "base " << c.delayMs << " depth " << c.depth << " rate " << c.rateHz);
    const double base = std::max(c.delayMs, 0.5) * sampleRate / 1000;
    const auto delays = readDelays(wetOnly(c.mode, c.delayMs, c.depth, c.rateHz), 1, 48000);
    double largestError = 0;
    for (size_t n = 4000; n < delays[0].size(); ++n) {
      const double expected = base * (1 + c.sweep * std::sin(2 * M_PI * c.lfoHz * static_cast<double>(n) / sampleRate));
      largestError = std::max(largestError, std::fabs(delays[0][n] - expected));
    }
    EXPECT_LT(largestError, 0.1);
  }
}

TEST(ChorusProcessor, StereoSpreadOffsetsTheRightLFO) {
  const ChorusSettings base = wetOnly(ModulationMode::flanger, 10, 1, 1);
  // Spread 1 on two channels: the right LFO runs half a cycle ahead, a mirror image around the base.
  ChorusSettings spread = base;
  spread.stereoSpread = 1;
  auto delays = readDelays(spread, 2, 30000);
  for (size_t n = 4000; n < delays[0].size(); n += 97) {
    SCOPED_TRACE(n);
    EXPECT_NEAR(delays[0][n] + delays[1][n], 2 * 480.0, 0.1);
  }
  EXPECT_GT(delays[0][12000] - delays[1][12000], 800);  // a quarter cycle in: far apart

  spread.stereoSpread = 0;
  delays = readDelays(spread, 2, 20000);
  EXPECT_EQ(delays[0], delays[1]);
}

TEST(ChorusProcessor, VoiceCountIsHeldBetweenOneAndFour) {
  const Planar input = noise(2, 6000);
  auto withVoices = [&](ModulationMode mode, int64_t voices) {
    ChorusSettings s;
    s.mode = mode;
    s.voices = voices;
    s.feedback = 0.3;
    return run(s, input);
  };
  EXPECT_EQ(withVoices(ModulationMode::chorus, 0), withVoices(ModulationMode::chorus, 1));
  EXPECT_EQ(withVoices(ModulationMode::chorus, -3), withVoices(ModulationMode::chorus, 1));
  EXPECT_EQ(withVoices(ModulationMode::chorus, 9), withVoices(ModulationMode::chorus, 4));
  EXPECT_NE(withVoices(ModulationMode::chorus, 4), withVoices(ModulationMode::chorus, 3));
  EXPECT_NE(withVoices(ModulationMode::chorus, 2), withVoices(ModulationMode::chorus, 1));
  // The flanger plays one voice whatever the count.
  EXPECT_EQ(withVoices(ModulationMode::flanger, 4), withVoices(ModulationMode::flanger, 1));
}

TEST(ChorusProcessor, FeedbackRecirculatesWithItsSignAndIsLimited) {
  ChorusSettings s = wetOnly(ModulationMode::chorus, 10, 0, 1);  // no sweep: a fixed 480-frame tap
  s.feedback = -0.5;
  const Planar out = run(s, impulse(1, 1600));
  EXPECT_NEAR(out[0][480], 1.0f, 1e-4f);
  EXPECT_NEAR(out[0][960], -0.5f, 1e-4f);
  EXPECT_NEAR(out[0][1440], 0.25f, 1e-4f);

  const Planar input = noise(1, 9600, 5, 0.9f);
  s.feedback = -0.95;
  const Planar limited = run(s, input);
  s.feedback = -7;
  EXPECT_EQ(run(s, input), limited);
}

TEST(ChorusProcessor, TailCoversTheLongestVoiceAndItsRepeats) {
  struct Case {
    double feedback;
    int64_t tail;
  };
  // Defaults: base 15 ms, sweep 0.5 × 5/15; 15 × 1.27 × (1 + 1/6) = 22.225 ms per repeat + 10 ms.
  for (const Case& c : {Case{0, 1546}, Case{0.5, 11148}, Case{-0.5, 11148}, Case{-2, 144498}}) {
    SCOPED_TRACE(c.feedback);
    ChorusProcessor chorus;
    ChorusSettings s;
    s.feedback = c.feedback;
    chorus.apply(s);
    chorus.prepare(sampleRate, 2, 512);
    EXPECT_EQ(chorus.tailFrames(), c.tail);
    EXPECT_EQ(chorus.latencyFrames(), 0);
  }
}

TEST(ChorusProcessor, MixZeroPassesTheInput) {
  ChorusSettings s;
  s.mix = 0;
  s.feedback = 0.9;
  const Planar input = noise(3, 5000);
  EXPECT_EQ(run(s, input), input);
}
