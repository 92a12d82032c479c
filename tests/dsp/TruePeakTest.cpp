#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "dsp/TruePeak.h"

using namespace quar;

namespace {

double dB(float linear) { return 20 * std::log10(static_cast<double>(linear)); }

// A full-scale sine at a quarter of the rate, starting at 45° and faded in over 64 samples.
std::vector<float> quarterRateSine(size_t n) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; ++i) {
    const double fade = i < 64 ? 0.5 - 0.5 * std::cos(std::numbers::pi * i / 64.0) : 1.0;
    x[i] = static_cast<float>(fade * std::sin(std::numbers::pi / 2 * i + std::numbers::pi / 4));
  }
  return x;
}

// Noise whose level changes in steps, so later peaks both beat and fall below earlier ones.
std::vector<float> steppedNoise(size_t n) {
  std::vector<float> x(n);
  uint32_t state = 12345;
  for (size_t i = 0; i < n; ++i) {
    state = state * 1664525u + 1013904223u;
    const double level = 0.1 + 0.8 * ((i / 5000) % 4) / 3.0;
    x[i] = static_cast<float>(level * ((state >> 8) / 8388608.0 - 1.0));
  }
  return x;
}

} // namespace

TEST(TruePeakTest, FactorDependsOnTheRate) {
  const struct {
    double rate;
    int factor;
  } cases[] = {{44100, 4}, {48000, 4}, {88200, 4}, {96000, 2}, {176400, 2}, {192000, 1}, {384000, 1}};
  for (const auto& c : cases) {
    const TruePeakInterpolator interpolator(c.rate);
    EXPECT_EQ(interpolator.factor, c.factor) << c.rate;
    EXPECT_EQ(interpolator.phases.size(), c.factor == 1 ? 0u : static_cast<size_t>(c.factor)) << c.rate;
    EXPECT_GE(interpolator.gainBound, 1.0f);
  }
  EXPECT_FLOAT_EQ(TruePeakInterpolator(192000).gainBound, 1.0001f);
}

TEST(TruePeakTest, KernelsInterpolateBetweenSamples) {
  const TruePeakInterpolator interpolator(48000);
  const double w = 2 * std::numbers::pi * 1000 / 48000;
  std::vector<float> x(200);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(w * i));
  std::vector<float> out(100);
  for (int p = 0; p < interpolator.factor; ++p) {
    interpolator.interpolate(p, x.data(), out.data(), 100);
    for (size_t n = 0; n < out.size(); ++n)
      ASSERT_NEAR(out[n], std::sin(w * (n + 11 + p / 4.0)), 2e-3) << "phase " << p << " at " << n;
  }
}

TEST(TruePeakTest, QuarterRateSineAt45DegreesPeaksBetweenSamples) {
  for (double rate : {44100.0, 48000.0}) {
    const std::vector<float> x = quarterRateSine(48000);
    TruePeakDetector detector(rate);
    detector.process(x.data(), static_cast<int64_t>(x.size()));
    EXPECT_NEAR(dB(detector.samplePeak), -3.01, 0.01) << rate;
    EXPECT_NEAR(dB(detector.truePeak()), 0.0, 0.05) << rate;
  }
  // Without oversampling the true peak is the sample peak.
  const std::vector<float> x = quarterRateSine(4800);
  TruePeakDetector plain(192000);
  plain.process(x.data(), static_cast<int64_t>(x.size()));
  EXPECT_EQ(plain.interPeak, 0.0f);
  EXPECT_EQ(plain.truePeak(), plain.samplePeak);
}

TEST(TruePeakTest, AnySplitGivesTheSamePeaks) {
  const std::vector<float> x = steppedNoise(70000);
  TruePeakDetector whole(48000);
  whole.process(x.data(), static_cast<int64_t>(x.size()));
  ASSERT_GT(whole.interPeak, whole.samplePeak);
  for (int64_t split : {1, 11, 1023, 1024, 17000, 32768, 32769, 69999}) {
    TruePeakDetector parts(48000);
    parts.process(x.data(), split);
    parts.process(x.data() + split, static_cast<int64_t>(x.size()) - split);
    EXPECT_EQ(parts.samplePeak, whole.samplePeak) << split;
    EXPECT_EQ(parts.interPeak, whole.interPeak) << split;
  }
  TruePeakDetector small(48000);
  for (size_t start = 0; start < x.size(); start += 333)
    small.process(x.data() + start, static_cast<int64_t>(std::min<size_t>(333, x.size() - start)));
  EXPECT_EQ(small.interPeak, whole.interPeak);

  whole.reset();
  EXPECT_EQ(whole.truePeak(), 0.0f);
}

// A NaN or infinity counts as silence, whether it arrives in a block, in the history a split
// carries over, or in primed history.
TEST(TruePeakTest, NonFiniteSamplesCountAsSilence) {
  std::vector<float> dirty = steppedNoise(70000), clean = dirty;
  const std::pair<size_t, float> bad[] = {{0, std::numeric_limits<float>::quiet_NaN()},
                                          {16995, std::numeric_limits<float>::infinity()},
                                          {69999, -std::numeric_limits<float>::infinity()}};
  for (auto [at, value] : bad) {
    dirty[at] = value;
    clean[at] = 0;
  }
  const auto peaks = [](const std::vector<float>& x, int64_t split) {
    TruePeakDetector detector(48000);
    detector.process(x.data(), split);
    detector.process(x.data() + split, static_cast<int64_t>(x.size()) - split);
    return std::pair(detector.samplePeak, detector.interPeak);
  };
  for (int64_t split : {1, 17000, 69999}) EXPECT_EQ(peaks(dirty, split), peaks(clean, split)) << split;

  // Loud history ending in the infinity, before quiet samples, so that the history is interpolated.
  TruePeakDetector primedDirty(48000), primedClean(48000);
  primedDirty.prime(dirty.data() + 16973);
  primedClean.prime(clean.data() + 16973);
  primedDirty.process(clean.data() + 20000, 4000);
  primedClean.process(clean.data() + 20000, 4000);
  EXPECT_GT(primedClean.interPeak, 0.5f);
  EXPECT_EQ(primedDirty.interPeak, primedClean.interPeak);
}

TEST(TruePeakTest, SilenceLeavesPeaksAtZero) {
  const std::vector<float> silence(5000, 0.0f);
  TruePeakDetector detector(44100);
  detector.process(silence.data(), 5000);
  detector.process(silence.data(), 0);
  EXPECT_EQ(detector.samplePeak, 0.0f);
  EXPECT_EQ(detector.interPeak, 0.0f);
}
