#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "dsp/effects/processors/GateProcessor.h"
#include "dsp/effects/processors/PlanarAudio.h"

using namespace quar;
using quar::test::PlanarAudio;

namespace {

constexpr double rate = 48000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::unique_ptr<GateProcessor> prepared(const GateSettings& settings, int channels = 2, int maxFrames = 512) {
  auto gate = std::make_unique<GateProcessor>();
  gate->apply(settings);
  gate->prepare(rate, channels, maxFrames);
  return gate;
}

GateSettings withRange(double rangeDB) {
  GateSettings settings;
  settings.rangeDB = rangeDB;
  return settings;
}

double smoothstep(double p) { return p * p * (3 - 2 * p); }

// Loud and quiet stretches of noise, so that a gate opens and closes.
PlanarAudio burstyNoise(int channels, size_t frames) {
  uint32_t seed = 7;
  return PlanarAudio::generate(channels, frames, [&](int, size_t i) {
    seed = seed * 1664525u + 1013904223u;
    const float level = (i / 4000) % 2 ? 0.8f : 0.002f;
    return level * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
  });
}

// Level `before` for `frames1` frames, then `after` for `frames2`.
PlanarAudio step(int channels, float before, size_t frames1, float after, size_t frames2) {
  return PlanarAudio::generate(channels, frames1 + frames2,
                               [=](int, size_t i) { return i < frames1 ? before : after; });
}

} // namespace

TEST(GateProcessor, ARangeOfZeroOrMoreNeverChangesTheSignal) {
  for (double rangeDB : {0.0, 6.0}) {
    SCOPED_TRACE(rangeDB);
    auto gate = prepared(withRange(rangeDB));
    PlanarAudio audio = burstyNoise(2, 40000);
    const PlanarAudio input = audio;
    audio.process(*gate, 512);
    EXPECT_EQ(audio.channels, input.channels);
    EXPECT_EQ(gate->gainReductionDB(), 0.0f);
  }
}

TEST(GateProcessor, ResetReportsTheRangeAsReduction) {
  const struct {
    double rangeDB;
    float reductionDB;
  } cases[] = {{-60, 60}, {-20, 20}, {0, 0}, {12, 0}, {-199, 199}, {-250, 200}, {kNaN, 60}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rangeDB);
    auto gate = prepared(withRange(c.rangeDB));
    EXPECT_NEAR(gate->gainReductionDB(), c.reductionDB, 1e-4);
    PlanarAudio audio = step(2, 0.5f, 4800, 0.5f, 0);
    audio.process(*gate, 512);
    EXPECT_EQ(gate->gainReductionDB(), 0.0f);
    gate->reset();
    EXPECT_NEAR(gate->gainReductionDB(), c.reductionDB, 1e-4);
  }
}

TEST(GateProcessor, OpensAlongTheCurveOverTheAttackTime) {
  for (double attackMs : {1.0, 10.0}) {
    SCOPED_TRACE(attackMs);
    GateSettings settings;
    settings.attackMs = attackMs;
    auto gate = prepared(settings, 1);
    PlanarAudio audio = step(1, 0.5f, 1000, 0.5f, 0);
    audio.process(*gate, 512);
    const double frames = attackMs * 48;
    for (size_t i = 0; i < 1000; ++i) {
      const double p = std::min((i + 1) / frames, 1.0);
      ASSERT_NEAR(audio.channels[0][i] / 0.5, 0.001 + 0.999 * smoothstep(p), 1e-6) << i;
    }
  }
}

TEST(GateProcessor, BetweenTheThresholdsTheGateKeepsItsState) {
  const float between = static_cast<float>(std::pow(10.0, -46.5 / 20));  // close −48 dB, open −45 dB
  auto closed = prepared({});
  PlanarAudio quiet = step(2, between, 96000, between, 0);
  quiet.process(*closed, 512);
  EXPECT_NEAR(quiet.channels[0].back(), between * 0.001f, 1e-9);
  EXPECT_NEAR(closed->gainReductionDB(), 60, 1e-3);

  auto open = prepared({});
  PlanarAudio opened = step(2, 0.5f, 480, between, 96000);
  opened.process(*open, 512);
  for (size_t i = 480; i < opened.frames(); ++i) ASSERT_NEAR(opened.channels[1][i], between, 1e-9) << i;
  EXPECT_EQ(open->gainReductionDB(), 0.0f);
}

TEST(GateProcessor, HoldsThenClosesAlongTheCurve) {
  // The level drops from 0.5 to −60 dB at frame 4800; the envelope holds and decays, then the
  // gate holds for holdMs and closes over releaseMs.
  const float quiet = 0.001f;
  const auto closingStart = [&](double holdMs, std::vector<float>* gains) {
    GateSettings settings;
    settings.holdMs = holdMs;
    auto gate = prepared(settings, 1);
    PlanarAudio audio = step(1, 0.5f, 4800, quiet, 48000);
    audio.process(*gate, 512);
    size_t start = 0;
    for (size_t i = 4800; i < audio.frames() && !start; ++i)
      if (audio.channels[0][i] < quiet) start = i;
    if (gains)
      for (size_t i = start; i < audio.frames(); ++i) gains->push_back(audio.channels[0][i] / quiet);
    return start;
  };
  std::vector<float> gains;
  const size_t withHold = closingStart(50, &gains);
  const size_t withoutHold = closingStart(0, nullptr);
  ASSERT_GT(withoutHold, 4800u);
  EXPECT_EQ(withHold - withoutHold, 2400u);  // 50 ms

  const double releaseFrames = 0.150 * rate;
  ASSERT_GT(gains.size(), 8000u);
  for (size_t j = 0; j < 8000; ++j) {
    const double p = std::max(1 - (j + 1) / releaseFrames, 0.0);
    ASSERT_NEAR(gains[j], 0.001 + 0.999 * smoothstep(p), 2e-6) << j;
  }
  EXPECT_NEAR(gains[3599], 0.5005, 1e-5);
}

TEST(GateProcessor, LinkedChannelsOpenTogether) {
  const auto run = [](bool link) {
    GateSettings settings;
    settings.stereoLink = link;
    auto gate = prepared(settings);
    PlanarAudio audio = PlanarAudio::generate(2, 9600, [](int ch, size_t) { return ch == 0 ? 0.5f : 0.001f; });
    audio.process(*gate, 512);
    return audio;
  };
  EXPECT_EQ(run(true).channels[1].back(), 0.001f);
  EXPECT_NEAR(run(false).channels[1].back(), 0.001f * 0.001f, 1e-10);

  // Unlinking a running gate carries its open state to every channel; the quiet one then closes.
  GateSettings settings;
  auto gate = prepared(settings);
  PlanarAudio audio = PlanarAudio::generate(2, 48000, [](int ch, size_t) { return ch == 0 ? 0.5f : 0.001f; });
  audio.process(*gate, 512, 0, 9728);
  settings.stereoLink = false;
  gate->apply(settings);
  audio.process(*gate, 512, 9728);
  EXPECT_EQ(audio.channels[1][9728], 0.001f);
  EXPECT_NEAR(audio.channels[1].back(), 0.001f * 0.001f, 1e-10);
  EXPECT_EQ(audio.channels[0].back(), 0.5f);
}

TEST(GateProcessor, ARangeChangeGlides) {
  auto gate = prepared({});
  PlanarAudio silence(2, 4800);
  silence.process(*gate, 480);
  EXPECT_NEAR(gate->gainReductionDB(), 60, 1e-3);
  gate->apply(withRange(-20));
  PlanarAudio more(2, 48);
  more.process(*gate, 48);
  EXPECT_GT(gate->gainReductionDB(), 20);
  EXPECT_LT(gate->gainReductionDB(), 60);
  PlanarAudio rest(2, 9600);
  rest.process(*gate, 480);
  EXPECT_NEAR(gate->gainReductionDB(), 20, 1e-4);
}

TEST(GateProcessor, ChannelsBeyondEightPassUntouched) {
  auto gate = prepared({}, 10);
  PlanarAudio audio = burstyNoise(10, 20000);
  const PlanarAudio input = audio;
  audio.process(*gate, 512);
  for (int ch = 0; ch < 8; ++ch) EXPECT_NE(audio.channels[ch], input.channels[ch]) << ch;
  EXPECT_EQ(audio.channels[8], input.channels[8]);
  EXPECT_EQ(audio.channels[9], input.channels[9]);
}

// One NaN or infinite sample opens the gate no more than silence would: an infinite envelope
// would decay to itself and hold the gate open for good.
TEST(GateProcessor, ANonFiniteSampleDoesNotHoldTheGateOpen) {
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
    SCOPED_TRACE(bad);
    PlanarAudio poisoned = burstyNoise(2, 40000), silent = burstyNoise(2, 40000);
    poisoned.channels[1][2000] = bad;
    silent.channels[1][2000] = 0;
    auto a = prepared({}), b = prepared({});
    poisoned.process(*a, 512);
    silent.process(*b, 512);
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 2001; i < 40000; ++i) ASSERT_EQ(poisoned.channels[ch][i], silent.channels[ch][i]) << ch << " " << i;
  }
}

// Hold and hysteresis fall back to 0 instead (ProcessorSettingsTest).
TEST(GateProcessor, NonFiniteFieldsTakeTheirDefaultsAndOtherKindsAreIgnored) {
  GateSettings wild;
  wild.thresholdDB = kNaN;
  wild.rangeDB = -std::numeric_limits<double>::infinity();
  wild.attackMs = kNaN;
  wild.releaseMs = kNaN;

  auto reference = prepared({});
  PlanarAudio expected = burstyNoise(2, 40000);
  expected.process(*reference, 512);

  auto before = prepared(wild);
  PlanarAudio a = burstyNoise(2, 40000);
  a.process(*before, 512);
  EXPECT_EQ(a.channels, expected.channels);

  auto running = prepared({});
  PlanarAudio b = burstyNoise(2, 40000);
  b.process(*running, 512, 0, 10240);
  running->apply(wild);
  running->apply(CompressorSettings{});
  b.process(*running, 512, 10240);
  EXPECT_EQ(b.channels, expected.channels);
  EXPECT_EQ(running->tailFrames(), 0);
  EXPECT_EQ(running->latencyFrames(), 0);
}
