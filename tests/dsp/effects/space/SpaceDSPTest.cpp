#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/effects/space/SpaceDSP.h"

using namespace quar;

TEST(SpaceStorage, HoldsAtLeastOneElementAndClearsToZeroValue) {
  const SpaceStorage<float> empty(0, 2.5f);
  ASSERT_EQ(empty.count(), 1);
  EXPECT_EQ(empty.pointer()[0], 2.5f);
  EXPECT_EQ(SpaceStorage<int64_t>(-4, 7).count(), 1);

  using Lanes = std::array<float, 4>;
  SpaceStorage<Lanes> lanes(3, Lanes{1, 2, 3, 4});
  ASSERT_EQ(lanes.count(), 3);
  for (int64_t i = 0; i < lanes.count(); ++i) EXPECT_EQ(lanes[i], (Lanes{1, 2, 3, 4}));
  lanes[1] = Lanes{};
  lanes.clear();
  EXPECT_EQ(lanes[1], (Lanes{1, 2, 3, 4}));

  SpaceStorage<float> replaced(1, 0.0f);
  replaced = SpaceStorage<float>(5, -1.0f);
  EXPECT_EQ(replaced.count(), 5);
  EXPECT_EQ(replaced.zero(), -1.0f);
  EXPECT_EQ(replaced[4], -1.0f);
}

TEST(SpaceStorageDeathTest, ByteSizeOverflowIsAContractViolation) {
  EXPECT_DEATH(SpaceStorage<double>(std::numeric_limits<int64_t>::max(), 0.0), "overflow");
}

TEST(SpaceRamp, ReachesItsEndAtPositionThirtyTwo) {
  SpaceRamp ramp;
  ramp.reset(0.2f);
  EXPECT_EQ(ramp.value(0), 0.2f);
  EXPECT_EQ(ramp.value(31), 0.2f);

  ramp.advance(1.0f, 0.5f);
  EXPECT_FLOAT_EQ(ramp.start, 0.2f);
  EXPECT_FLOAT_EQ(ramp.end, 0.6f);
  EXPECT_EQ(ramp.value(0), ramp.start);
  EXPECT_FLOAT_EQ(ramp.value(16), 0.4f);
  EXPECT_FLOAT_EQ(ramp.value(32), ramp.end);

  ramp.advance(1.0f, 0.5f);  // continues from the previous end
  EXPECT_FLOAT_EQ(ramp.start, 0.6f);
  EXPECT_FLOAT_EQ(ramp.end, 0.8f);
  ramp.advance(1.0f, 1.0f);
  EXPECT_FLOAT_EQ(ramp.end, 1.0f);
}

TEST(SpaceSVFCoefficients, CutoffIsHeldBetweenOneHertzAndAlmostNyquist) {
  struct Case {
    double cutoff;
    double designed;
  };
  const double sampleRate = 48000;
  for (const Case& c : {Case{0, 1}, Case{-50, 1}, Case{std::nan(""), 1}, Case{30000, 0.49 * sampleRate},
                        Case{1000, 1000}}) {
    SCOPED_TRACE(c.cutoff);
    const SpaceSVFCoefficients actual(c.cutoff, 0.707, sampleRate);
    const SpaceSVFCoefficients expected(c.designed, 0.707, sampleRate);
    EXPECT_EQ(actual.a1, expected.a1);
    EXPECT_EQ(actual.a2, expected.a2);
    EXPECT_EQ(actual.a3, expected.a3);
  }
  const SpaceSVFCoefficients quarter(12000, 0.5, sampleRate);  // g = tan(π/4) = 1
  EXPECT_FLOAT_EQ(quarter.k, 2.0f);
  EXPECT_FLOAT_EQ(quarter.a1, 0.25f);
  EXPECT_FLOAT_EQ(quarter.a2, 0.25f);
  EXPECT_FLOAT_EQ(quarter.a3, 0.25f);
}

TEST(SpaceSVFState, ConstantInputPassesLowAndBlocksHigh) {
  for (double cutoff : {20.0, 1000.0, 20000.0}) {
    SCOPED_TRACE(cutoff);
    const SpaceSVFCoefficients c(cutoff, 0.707, 48000);
    SpaceSVFState low;
    SpaceSVFState high;
    float lowOut = 0;
    float highOut = 1;
    for (int n = 0; n < 48000; ++n) {
      lowOut = low.lowPass(c, 0.75f);
      highOut = high.highPass(c, 0.75f);
    }
    EXPECT_NEAR(lowOut, 0.75f, 1e-4);
    EXPECT_NEAR(highOut, 0.0f, 1e-4);
  }
}

TEST(SpaceSVFState, SineAtCutoffIsThreeDecibelsDownOnBothOutputs) {
  const double sampleRate = 48000;
  const double cutoff = 1000;
  const SpaceSVFCoefficients c(cutoff, 0.707, sampleRate);
  SpaceSVFState low;
  SpaceSVFState high;
  float lowPeak = 0;
  float highPeak = 0;
  for (int n = 0; n < 9600; ++n) {
    const auto x = static_cast<float>(std::sin(2 * M_PI * cutoff * n / sampleRate));
    const float l = low.lowPass(c, x);
    const float h = high.highPass(c, x);
    if (n >= 4800) {
      lowPeak = std::max(lowPeak, std::fabs(l));
      highPeak = std::max(highPeak, std::fabs(h));
    }
  }
  EXPECT_NEAR(lowPeak, 0.707f, 0.005f);
  EXPECT_NEAR(highPeak, 0.707f, 0.005f);
}

TEST(SpaceSoftClip, PassesUnitRangeAndStaysBelowTwo) {
  struct Case {
    float input;
    float output;
  };
  for (const Case& c : {Case{0, 0}, Case{0.5f, 0.5f}, Case{-1, -1}, Case{1, 1}, Case{2, 1.5f}, Case{-3, -(1 + 2.0f / 3)},
                        Case{1e6f, 2.0f}, Case{std::numeric_limits<float>::infinity(), 2.0f},
                        Case{-std::numeric_limits<float>::infinity(), -2.0f}}) {
    SCOPED_TRACE(c.input);
    EXPECT_NEAR(spaceSoftClip(c.input), c.output, 1e-5f);
    EXPECT_LE(std::fabs(spaceSoftClip(c.input)), 2.0f);
  }
}

TEST(SpaceSoftClip, TurnsNaNIntoSilence) {
  EXPECT_EQ(spaceSoftClip(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(SpaceCubicRead, HitsSamplesAtWholeDelaysAndFollowsALineBetween) {
  std::vector<float> line(16);
  for (size_t i = 0; i < line.size(); ++i) line[i] = 0.25f * static_cast<float>(i) - 1;
  const int64_t mask = 15;
  // Write position 3 wraps: indices below 0 read from the end of the line.
  line[0] = 5;
  EXPECT_EQ(spaceCubicRead(line.data(), mask, 10, 2.0), line[8]);
  EXPECT_EQ(spaceCubicRead(line.data(), mask, 10, 7.0f), line[3]);
  EXPECT_EQ(spaceCubicRead(line.data(), mask, 19, 3.0), line[0]);
  // On a straight line the interpolation is exact.
  EXPECT_NEAR(spaceCubicRead(line.data(), mask, 12, 4.25), 0.25f * 7.75f - 1, 1e-6);
  EXPECT_NEAR(spaceCubicRead(line.data(), mask, 12, 2.5f), 0.25f * 9.5f - 1, 1e-6);
}
