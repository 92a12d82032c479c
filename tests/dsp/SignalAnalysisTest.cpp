#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/QuarError.h"

#include "dsp/SignalAnalysis.h"
#include "dsp/TestSignals.h"

using namespace quar;

namespace {

class NoChannels final : public AudioSource {
public:
  int channelCount() const override { return 0; }
  double sampleRate() const override { return 48000; }
  int64_t frameCount() const override { return 100; }
  void read(FrameRange, std::span<float* const>) const override {}
};

} // namespace

TEST(SignalAnalysis, ConstantSignals) {
  for (float v : {0.5f, -0.25f, 1.0f}) {
    const ArraySource source({std::vector<float>(100000, v), std::vector<float>(100000, -v)}, 48000);
    const SignalStats stats = SignalAnalysis::stats(source, FrameRange{300, 90000});
    for (size_t c = 0; c < 2; ++c) {
      const double value = c == 0 ? v : -v;
      EXPECT_EQ(stats.peak[c], std::fabs(v));
      EXPECT_EQ(stats.peakFrame[c], 300);
      EXPECT_NEAR(stats.rms[c], std::fabs(value), 1e-9);
      EXPECT_NEAR(stats.dcOffset[c], value, 1e-9);
    }
  }
}

TEST(SignalAnalysis, SineRMSAndNoDC) {
  const ArraySource source({test::sine(48000, 1000, 48000, 0.8)}, 48000);
  const SignalStats stats = SignalAnalysis::stats(source);
  EXPECT_NEAR(stats.rms[0], 0.8 / std::sqrt(2.0), 1e-6);
  EXPECT_NEAR(stats.dcOffset[0], 0, 1e-6);
  EXPECT_NEAR(stats.peak[0], 0.8, 1e-6);
}

TEST(SignalAnalysis, PeakIsTheFirstFrameWithTheLargestMagnitude) {
  // Frames past 65536 fall in a second chunk and frames past 2^20 in a second piece, measured
  // concurrently; peak frames are absolute.
  struct Case {
    std::vector<std::pair<int64_t, float>> samples;
    std::optional<FrameRange> range;
    float peak;
    int64_t frame;
  } cases[] = {
      {{{7, -0.9f}, {20, 0.5f}}, std::nullopt, 0.9f, 7},                // negative peak by magnitude
      {{{3, 0.8f}, {9, -0.8f}}, std::nullopt, 0.8f, 3},                  // ties keep the first
      {{{10, 0.7f}, {70000, -0.7f}}, std::nullopt, 0.7f, 10},            // ties across chunks
      {{{10, 0.3f}, {70000, 0.6f}}, std::nullopt, 0.6f, 70000},          // larger in a later chunk
      {{{10, 0.9f}, {5000, 0.4f}}, FrameRange{1000, 6000}, 0.4f, 5000},  // outside the range ignored
      {{}, FrameRange{1000, 6000}, 0.0f, 1000},                          // silence: the range start
      {{{10, 0.7f}, {1'500'000, -0.7f}}, std::nullopt, 0.7f, 10},        // ties across pieces
      {{{10, 0.3f}, {2'000'000, 0.6f}}, std::nullopt, 0.6f, 2'000'000},  // larger in a later piece
      {{{1'048'600, 0.5f}, {2'099'000, 0.5f}}, FrameRange{1'048'000, 2'100'000}, 0.5f, 1'048'600},
  };
  for (const Case& c : cases) {
    std::vector<float> samples(2'200'000, 0.0f);
    for (auto [frame, value] : c.samples) samples[static_cast<size_t>(frame)] = value;
    const SignalStats stats = SignalAnalysis::stats(ArraySource({samples}, 48000), c.range);
    EXPECT_EQ(stats.peak[0], c.peak) << c.frame;
    EXPECT_EQ(stats.peakFrame[0], c.frame);
  }
}

TEST(SignalAnalysis, EmptyRangesAndNoChannels) {
  const ArraySource source({std::vector<float>(1000, 0.5f), std::vector<float>(1000, 0.5f)}, 48000);
  const SignalStats zero{{0, 0}, {0, 0}, {0, 0}, {0, 0}};
  EXPECT_EQ(SignalAnalysis::stats(source, FrameRange{500, 500}), zero);
  EXPECT_EQ(SignalAnalysis::stats(source, FrameRange{2000, 3000}), zero);
  EXPECT_EQ(SignalAnalysis::stats(NoChannels()), SignalStats{});
}

TEST(SignalAnalysis, LongRangesKeepPrecision) {
  // A million samples of 0.1: sums kept in single precision would be visibly off.
  const ArraySource source({std::vector<float>(1'000'000, 0.1f)}, 48000);
  const SignalStats stats = SignalAnalysis::stats(source);
  EXPECT_NEAR(stats.dcOffset[0], 0.1, 1e-7);
  EXPECT_NEAR(stats.rms[0], 0.1, 1e-7);
}

TEST(SignalAnalysis, ProgressIsAskedAsItGoesAndFalseStopsIt) {
  // 40 M frames of a steady signal without memory: 38 pieces of a million frames.
  class Steady final : public AudioSource {
  public:
    int channelCount() const override { return 1; }
    double sampleRate() const override { return 48000; }
    int64_t frameCount() const override { return 40'000'000; }
    void read(FrameRange range, std::span<float* const> destinations) const override {
      for (float* destination : destinations) std::fill_n(destination, range.count(), 0.25f);
    }
  } source;
  std::vector<double> fractions;
  const SignalStats stats = SignalAnalysis::stats(source, std::nullopt, [&](double fraction) {
    fractions.push_back(fraction);
    return true;
  });
  EXPECT_EQ(stats, SignalAnalysis::stats(source));
  ASSERT_GE(fractions.size(), 3u);
  EXPECT_EQ(fractions.front(), 0);
  EXPECT_EQ(fractions.back(), 1);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));

  int asked = 0;
  EXPECT_THROW(SignalAnalysis::stats(source, std::nullopt, [&](double) { return ++asked < 2; }), CancellationError);
  EXPECT_EQ(asked, 2);  // no batch after the refusal
}
