#include <gtest/gtest.h>

#include "dsp/effects/CompressorSettings.h"

using namespace quar;

namespace {

CompressorSettings curve(double threshold, double ratio, double knee) {
  CompressorSettings settings;
  settings.thresholdDB = threshold;
  settings.ratio = ratio;
  settings.kneeDB = knee;
  return settings;
}

} // namespace

TEST(CompressorSettings, StaticCurve) {
  struct Case {
    double threshold, ratio, knee, input, output;
  };
  const Case cases[] = {
      // Defaults: knee edges at -21 and -15, straight line above.
      {-18, 4, 6, -40, -40},
      {-18, 4, 6, -21.5, -21.5},
      {-18, 4, 6, -21, -21},
      {-18, 4, 6, -18, -18.5625},
      {-18, 4, 6, -15, -17.25},
      {-18, 4, 6, 0, -13.5},
      // Hard knee.
      {-18, 4, 0, -18, -18},
      {-18, 4, 0, -10, -16},
      {-18, 4, -3, -10, -16},
      // Infinite-ish and unity ratios.
      {-20, 1, 6, 0, 0},
      {-20, 1e12, 0, 0, -20 + 20e-12},
      // Threshold above 0 dB with 0 dB inside the knee.
      {3, 4, 12, 0, -0.28125},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(curve(c.threshold, c.ratio, c.knee).staticOutputDB(c.input), c.output, 1e-12)
        << c.threshold << " " << c.ratio << " " << c.knee << " " << c.input;
}

TEST(CompressorSettings, RatioBelowOneDoesNotCompress) {
  const auto settings = curve(-18, 0.5, 6);
  for (double input : {-60.0, -21.0, -19.0, -18.0, -16.0, -15.0, 0.0, 12.0})
    EXPECT_EQ(settings.staticOutputDB(input), input) << input;
}

TEST(CompressorSettings, EffectiveMakeup) {
  struct Case {
    double threshold, ratio, knee, manual;
    bool automatic;
    double expected;
  };
  const Case cases[] = {
      {-18, 4, 6, 0, false, 0},     {-18, 4, 6, 2.5, false, 2.5}, {-18, 4, 6, 0, true, 6.75},
      {-18, 4, 6, 2, true, 8.75},   {0, 4, 0, 0, true, 0},        {6, 4, 4, 1, true, 1},
      {3, 4, 12, 0, true, 0.140625}, {-18, 0.5, 6, 0, true, 0},
  };
  for (const auto& c : cases) {
    auto settings = curve(c.threshold, c.ratio, c.knee);
    settings.makeupGainDB = c.manual;
    settings.autoMakeup = c.automatic;
    EXPECT_NEAR(settings.effectiveMakeupDB(), c.expected, 1e-12) << c.threshold << " " << c.automatic;
  }
}
