#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "dsp/effects/processors/ReverbProcessor.h"
#include "dsp/effects/processors/SpaceTestSignals.h"

using namespace quar;
using namespace quar::spacetest;

namespace {

constexpr double sampleRate = 48000;

Planar run(const ReverbSettings& settings, Planar signal, int blockSize = 512) {
  ReverbProcessor reverb;
  reverb.apply(settings);
  reverb.prepare(sampleRate, static_cast<int>(signal.size()), blockSize);
  runBlocks(reverb, signal, blockSize);
  return signal;
}

bool isPrime(int64_t n) {
  if (n < 2) return false;
  for (int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// Reverberation time from the Schroeder backward-integrated energy, fitted from −5 to −35 dB.
double measuredT60(const std::vector<float>& response) {
  std::vector<double> energy(response.size());
  double sum = 0;
  for (size_t i = response.size(); i-- > 0;) {
    sum += static_cast<double>(response[i]) * response[i];
    energy[i] = sum;
  }
  const double total = energy.front();
  auto timeAt = [&](double dB) {
    for (size_t i = 0; i < energy.size(); ++i)
      if (10 * std::log10(energy[i] / total) <= dB) return static_cast<double>(i) / sampleRate;
    return static_cast<double>(energy.size()) / sampleRate;
  };
  return 2 * (timeAt(-35) - timeAt(-5));
}

// The low band of a response (one-pole low-pass at 300 Hz), where damping does not act.
std::vector<float> lowBand(const std::vector<float>& response) {
  std::vector<float> low(response.size());
  const auto a = static_cast<float>(1 - std::exp(-2 * M_PI * 300 / sampleRate));
  float state = 0;
  for (size_t i = 0; i < low.size(); ++i) low[i] = state += a * (response[i] - state);
  return low;
}

} // namespace

TEST(ReverbProcessor, DiffuserLengthsAreDistinctPrimes) {
  EXPECT_EQ(ReverbProcessor::diffuserLengths(48000), (std::array<int64_t, 4>{83, 139, 211, 293}));
  EXPECT_EQ(ReverbProcessor::diffuserLengths(44100), (std::array<int64_t, 4>{79, 127, 191, 269}));
  // At very low rates the stages start at 3 and skip numbers already taken.
  EXPECT_EQ(ReverbProcessor::diffuserLengths(1000), (std::array<int64_t, 4>{3, 5, 7, 11}));
}

TEST(ReverbProcessor, LineLengthsArePrimesRisingStrictly) {
  struct Case {
    double sampleRate;
    double size;
    int64_t first;
    int64_t last;
  };
  for (const Case& c : {Case{48000, 0.6, 1229, 3449}, Case{48000, 0, 193, 541}, Case{48000, 1, 1931, 5381},
                        Case{1000, 0, 53, 127}}) {
    SCOPED_TRACE(testing::Message() << c.sampleRate << " Hz, size " << c.size);
    const auto lengths = ReverbProcessor::lineLengths(c.sampleRate, c.size);
    EXPECT_EQ(lengths.front(), c.first);
    EXPECT_EQ(lengths.back(), c.last);
    for (size_t i = 0; i < lengths.size(); ++i) {
      EXPECT_TRUE(isPrime(lengths[i])) << lengths[i];
      if (i > 0) {
        EXPECT_GT(lengths[i], lengths[i - 1]);
      }
    }
  }
}

TEST(ReverbProcessor, TailIsPreDelayPlusDecay) {
  struct Case {
    double preDelayMs;
    double decaySeconds;
    int64_t tail;
  };
  for (const Case& c : {Case{20, 1.8, 102000},      // the defaults
                        Case{250, 20, 1074000},    // the longest: 22.375 s
                        Case{900, 100, 1074000},   // held to 250 ms and 20 s
                        Case{-5, 0, 16560}}) {     // held to 0 ms and 0.2 s
    SCOPED_TRACE(testing::Message() << c.preDelayMs << " ms, " << c.decaySeconds << " s");
    ReverbProcessor reverb;
    ReverbSettings s;
    s.preDelayMs = c.preDelayMs;
    s.decaySeconds = c.decaySeconds;
    reverb.apply(s);
    reverb.prepare(sampleRate, 2, 512);
    EXPECT_EQ(reverb.tailFrames(), c.tail);
    EXPECT_EQ(reverb.latencyFrames(), 0);
  }
}

TEST(ReverbProcessor, MeasuredDecayMatchesTheSetting) {
  struct Case {
    double decaySeconds;
    double damping;
    double size;
    bool lowBandOnly;  // damping shortens the highs only
  };
  for (const Case& c : {Case{1.0, 0, 0.6, false}, Case{0.3, 0, 0, false}, Case{0.8, 0, 1, false},
                        Case{1.8, 0.5, 0.6, true}}) {
    SCOPED_TRACE(testing::Message() << c.decaySeconds << " s, damping " << c.damping << ", size " << c.size);
    ReverbSettings s;
    s.decaySeconds = c.decaySeconds;
    s.damping = c.damping;
    s.size = c.size;
    s.preDelayMs = 0;
    s.mix = 1;
    const Planar out = run(s, impulse(1, static_cast<int64_t>(sampleRate * (1.4 * c.decaySeconds + 0.3))));
    const double measured = measuredT60(c.lowBandOnly ? lowBand(out[0]) : out[0]);
    EXPECT_NEAR(measured, c.decaySeconds, 0.15 * c.decaySeconds);
    if (c.lowBandOnly) {
      EXPECT_LT(measuredT60(out[0]), 0.95 * measured);
    }
  }
}

TEST(ReverbProcessor, ClampedSettingsPlayAsTheirLimits) {
  const Planar input = noise(2, 9000);
  struct Case {
    ReverbSettings held;
    ReverbSettings beyond;
  };
  auto with = [](auto change) {
    ReverbSettings s;
    change(s);
    return s;
  };
  const std::vector<Case> cases{
      {with([](auto& s) { s.decaySeconds = 0.2; }), with([](auto& s) { s.decaySeconds = 0; })},
      {with([](auto& s) { s.decaySeconds = 20; }), with([](auto& s) { s.decaySeconds = 100; })},
      {with([](auto& s) { s.size = 1; }), with([](auto& s) { s.size = 4; })},
      {with([](auto& s) { s.damping = 0; }), with([](auto& s) { s.damping = -1; })},
      {with([](auto& s) { s.preDelayMs = 250; }), with([](auto& s) { s.preDelayMs = 2000; })},
      {with([](auto& s) { s.lowCutHz = 1000; }), with([](auto& s) { s.lowCutHz = 5000; })},
      {with([](auto& s) { s.mix = 1; }), with([](auto& s) { s.mix = 2; })},
      {with([](auto& s) { s.width = 0; }), with([](auto& s) { s.width = -3; })},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run(cases[i].beyond, input), run(cases[i].held, input));
  }
}

TEST(ReverbProcessor, MixZeroIsExactlyDry) {
  ReverbSettings s;
  s.mix = 0;
  const Planar input = noise(2, 6000);
  EXPECT_EQ(run(s, input), input);
}

TEST(ReverbProcessor, WidthZeroSendsTheAverageToEveryChannel) {
  ReverbSettings s;
  s.mix = 1;
  s.width = 0;
  const Planar out = run(s, noise(3, 6000));
  float level = 0;
  for (size_t n = 0; n < out[0].size(); ++n) {
    EXPECT_NEAR(out[1][n], out[0][n], 1e-6f);
    EXPECT_NEAR(out[2][n], out[0][n], 1e-6f);
    level = std::max(level, std::fabs(out[0][n]));
  }
  EXPECT_GT(level, 0.01f);

  s.width = 1;
  const Planar wide = run(s, noise(3, 6000));
  EXPECT_GT(std::fabs(wide[0][5000] - wide[1][5000]), 1e-4f);
}

TEST(ReverbProcessor, MonoTakesTheFirstRowAndFirstEarlyTaps) {
  // With width 1 a channel of a stereo run is its own tap; fed the same signal on both channels,
  // the left channel takes row 0 and early row 0, as a mono run does.
  ReverbSettings s;
  s.mix = 0.7;
  const Planar mono = run(s, noise(1, 8000));
  Planar stereo = noise(1, 8000);
  stereo.push_back(stereo[0]);
  stereo = run(s, stereo);
  for (size_t n = 0; n < mono[0].size(); ++n) ASSERT_NEAR(stereo[0][n], mono[0][n], 1e-6f) << n;
  EXPECT_NE(stereo[1], stereo[0]);
}

TEST(ReverbProcessor, ChannelsBeyondEightStayDry) {
  ReverbSettings s;
  s.mix = 0.5;
  const Planar input = noise(10, 4000);
  ReverbProcessor reverb;
  reverb.apply(s);
  reverb.prepare(sampleRate, 10, 256);
  Planar out = input;
  runBlocks(reverb, out, 256);
  for (size_t ch = 0; ch < 8; ++ch) EXPECT_NE(out[ch], input[ch]) << ch;
  EXPECT_EQ(out[8], input[8]);
  EXPECT_EQ(out[9], input[9]);
  // The first eight are processed as an eight-channel reverb would.
  Planar eight(input.begin(), input.begin() + 8);
  EXPECT_EQ(Planar(out.begin(), out.begin() + 8), run(s, eight, 256));
}
