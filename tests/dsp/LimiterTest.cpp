#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "base/QuarError.h"
#include "dsp/Limiter.h"
#include "dsp/LoudnessTestSupport.h"

using namespace quar;
using namespace quar::loudnesstest;

namespace {

constexpr double minusInfinity = -std::numeric_limits<double>::infinity();

struct Rendered {
  Channels channels;
  std::vector<int64_t> chunkSizes;
};

Rendered render(const AudioSource& source, FrameRange range, double preGainDB, double ceilingDBTP,
                double lookaheadMs = 2, double releaseMs = 80) {
  Rendered r;
  r.channels.resize(static_cast<size_t>(source.channelCount()));
  TruePeakLimiter::render(source, range, preGainDB, ceilingDBTP, lookaheadMs, releaseMs, {}, [&](ChannelViews chunk) {
    r.chunkSizes.push_back(static_cast<int64_t>(chunk[0].size()));
    for (size_t c = 0; c < chunk.size(); ++c) r.channels[c].insert(r.channels[c].end(), chunk[c].begin(), chunk[c].end());
  });
  return r;
}

LoudnessResult measured(double integrated, double truePeak) {
  LoudnessResult r;
  r.integratedLUFS = integrated;
  r.truePeakDBTP = truePeak;
  return r;
}

// Stereo noise peaking near full scale.
Channels loudNoise(int64_t frames) {
  Channels channels{pinkNoise(frames, 7), pinkNoise(frames, 8)};
  scale(channels, 0.7);
  return channels;
}

} // namespace

TEST(LimiterTest, PlanPredictsGainAndPeak) {
  const struct {
    double integrated, truePeak, target, ceiling;
    LoudnessNormalization::Plan expected;
  } cases[] = {
      {-23, -3, -14, -1, {9, -14, 6, true}},
      {-23, -3, -20, -1, {3, -20, 0, true}},
      {-23, -3, -20, 1, {3, -20, 0, false}},
      {-10, -0.5, -14, -1, {-4, -14, -4.5, false}},
      {minusInfinity, minusInfinity, -14, -1, {0, minusInfinity, minusInfinity, false}},
      {minusInfinity, -30, -14, -1, {0, minusInfinity, -30, false}},
      {-23, -3, -14, std::nan(""), {9, -14, 6, false}},
  };
  for (const auto& c : cases) {
    const auto plan = LoudnessNormalization::plan(measured(c.integrated, c.truePeak), c.target, c.ceiling);
    EXPECT_EQ(plan, c.expected) << c.integrated << " " << c.target << " " << c.ceiling;
  }
}

TEST(LimiterTest, AudioUnderTheCeilingComesOutExactlyPreGained) {
  const std::vector<float> tone = sine(997, 1.0, 48000, 100000);
  Channels channels{tone, pinkNoise(100000, 3)};
  scale(channels, 0.25);
  const ArraySource source(channels, 48000);
  // +6 dB on peaks of about −12 dBFS stays under −1 dBTP.
  const Rendered r = render(source, source.fullRange(), 6, -1);
  const auto gain = static_cast<float>(std::pow(10.0, 6.0 / 20));
  for (size_t c = 0; c < 2; ++c) {
    ASSERT_EQ(r.channels[c].size(), 100000u);
    const auto& in = source.channels()[c];
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(r.channels[c][i], in[i] * gain) << c << " " << i;
  }
  EXPECT_EQ(r.chunkSizes, (std::vector<int64_t>{65536, 100000 - 65536}));
}

TEST(LimiterTest, LoudNoiseStaysUnderTheCeiling) {
  const double rate = 48000;
  const Channels noise = loudNoise(5 * 48000);
  const ArraySource source(noise, rate);
  const Rendered r = render(source, source.fullRange(), 12, -1);
  const LoudnessResult own = LoudnessAnalyzer::analyze(ArraySource(r.channels, rate));
  EXPECT_LE(own.truePeakDBTP, -1.0);
  EXPECT_GT(own.truePeakDBTP, -1.5);  // limited, not merely attenuated
  // Oversampling meters differ by a few hundredths of a dB on limited audio.
  EXPECT_LE(ffmpegTruePeakDBTP(r.channels, rate), -1.0 + 0.1);
  // About half of the +12 dB survives as loudness.
  const double before = LoudnessAnalyzer::analyze(source).integratedLUFS;
  EXPECT_GT(own.integratedLUFS, before + 5);
}

TEST(LimiterTest, ChunkBoundariesDoNotChangeTheOutput) {
  // The same audio after 30000 frames of silence meets the 65536-frame chunks at other places.
  const Channels noise = loudNoise(150000);
  const int64_t lead = 30000;
  Channels shifted = noise;
  for (auto& channel : shifted) channel.insert(channel.begin(), static_cast<size_t>(lead), 0.0f);
  const Rendered plain = render(ArraySource(noise, 44100), {0, 150000}, 10, -1);
  const Rendered moved = render(ArraySource(shifted, 44100), {0, 150000 + lead}, 10, -1);
  EXPECT_EQ(moved.chunkSizes, (std::vector<int64_t>{65536, 65536, 180000 - 2 * 65536}));
  for (size_t c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::all_of(moved.channels[c].begin(), moved.channels[c].begin() + lead, [](float v) { return v == 0; }));
    EXPECT_TRUE(std::equal(plain.channels[c].begin(), plain.channels[c].end(), moved.channels[c].begin() + lead)) << c;
  }
}

TEST(LimiterTest, ClickIsCaughtAheadAndReleasedAfter) {
  const double rate = 48000;
  const int64_t click = 20000;
  std::vector<float> x(40000, 0.1f);
  x[static_cast<size_t>(click)] = 1.0f;
  const ArraySource source({x}, rate);
  const Rendered r = render(source, source.fullRange(), 0, -1, 2, 80);
  const auto& y = r.channels[0];
  const int64_t L = 96;  // 2 ms
  const int64_t h = 12;
  const auto gainAt = [&](int64_t k) { return y[static_cast<size_t>(k)] / x[static_cast<size_t>(k)]; };

  EXPECT_LE(y[static_cast<size_t>(click)], std::pow(10.0, -1.01 / 20));
  // The reduction starts 2L + h + 1 frames ahead (one more for the inter-sample point just
  // before the click, which interpolates above the ceiling as well).
  const int64_t onset = click - (2 * L + h + 1);
  for (int64_t k = 0; k < onset - 1; ++k) ASSERT_EQ(gainAt(k), 1.0f) << k;
  EXPECT_LT(gainAt(onset - 1), 1.0f);
  EXPECT_LT(gainAt(onset), gainAt(onset - 1));
  // After the click leaves the averaging window the gain recovers with the release constant.
  const int64_t free = click + 2 * L + h + 2;
  const double start = gainAt(free);
  const double a = 1 - std::exp(-1 / (0.080 * rate));
  for (int64_t t : {100, 3840, 10000}) {
    const double expected = 1 - (1 - start) * std::pow(1 - a, static_cast<double>(t));
    EXPECT_NEAR(gainAt(free + t), expected, 1e-4) << t;
  }
  EXPECT_LT(gainAt(free + 3840), 1.0f);
}

TEST(LimiterTest, EmptyRangesCancellationAndEmitErrors) {
  const ArraySource source({pinkNoise(100000, 5)}, 48000);
  int emits = 0;
  int progressCalls = 0;
  const auto countEmits = [&](ChannelViews) { ++emits; };
  const auto countProgress = [&](double) { ++progressCalls; return true; };
  TruePeakLimiter::render(source, {500, 500}, 0, -1, 2, 80, countProgress, countEmits);
  TruePeakLimiter::render(source, {200000, 300000}, 0, -1, 2, 80, countProgress, countEmits);
  EXPECT_EQ(emits, 0);
  EXPECT_EQ(progressCalls, 0);

  std::vector<double> fractions;
  TruePeakLimiter::render(source, {-100, 90000}, 0, -1, 2, 80, [&](double f) { fractions.push_back(f); return true; }, countEmits);
  EXPECT_EQ(fractions, (std::vector<double>{0.0, 65536.0 / 90000, 1.0}));
  EXPECT_EQ(emits, 2);

  emits = 0;
  EXPECT_THROW(TruePeakLimiter::render(source, source.fullRange(), 0, -1, 2, 80, [](double) { return false; }, countEmits),
               CancellationError);
  EXPECT_EQ(emits, 0);
  EXPECT_THROW(TruePeakLimiter::render(source, source.fullRange(), 0, -1, 2, 80, [](double f) { return f == 0; }, countEmits),
               CancellationError);
  EXPECT_EQ(emits, 1);
  EXPECT_THROW(TruePeakLimiter::render(source, source.fullRange(), 0, -1, 2, 80, {},
                                       [](ChannelViews) { throw std::runtime_error("disk full"); }),
               std::runtime_error);
}
