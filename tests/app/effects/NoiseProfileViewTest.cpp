// The noise profile's curve: a log frequency axis from 20 Hz to Nyquist and 60 dB of level
// below the loudest bin.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/NoiseProfileView.h"

namespace {

constexpr double W = 300;
constexpr double H = 60;

quar::NoiseProfile profile(std::vector<float> power, double sampleRate = 48000) {
  return {static_cast<int64_t>((power.size() - 1) * 2), sampleRate, std::move(power)};
}

} // namespace

TEST(NoiseProfileView, BinsRunFromTheFirstAbove20HzToNyquistAtTheRightEdge) {
  const std::vector<QPointF> points = NoiseProfileView::curve(profile(std::vector<float>(1025, 1e-6f)), {W, H});
  ASSERT_EQ(points.size(), 1024u);  // bin 0 never; bin 1 is 23.4375 Hz
  EXPECT_NEAR(points.front().x(), W * std::log(23.4375 / 20) / std::log(1200.0), 1e-9);
  EXPECT_NEAR(points.back().x(), W, 1e-9);
  for (const QPointF& point : points) EXPECT_EQ(point.y(), 0);  // all equal: along the top edge

  // At 8 kHz the first bins lie below 20 Hz and are skipped.
  EXPECT_EQ(NoiseProfileView::curve(profile(std::vector<float>(1025, 1), 8000), {W, H}).size(), 1019u);
}

TEST(NoiseProfileView, LevelsFallFromTheLoudestBinToSixtyDecibelsBelowIt) {
  struct Case {
    float power;  // relative to the loudest bin's 1.0
    double y;
  };
  const Case cases[] = {{1, 0}, {1e-3f, H / 2}, {1e-6f, H}, {1e-9f, H}, {0, H}};
  for (const Case& c : cases) {
    const std::vector<QPointF> points = NoiseProfileView::curve(profile({1, 1, c.power, 1}), {W, H});
    ASSERT_EQ(points.size(), 3u);
    EXPECT_NEAR(points[1].y(), c.y, 1e-4) << c.power;
  }
  // The loudest bin may be the DC bin, which is not drawn.
  EXPECT_NEAR(NoiseProfileView::curve(profile({100, 1, 1}), {W, H})[0].y(), H / 3, 1e-9);
  // All zero reads -200 dB everywhere: flat along the top.
  for (const QPointF& point : NoiseProfileView::curve(profile({0, 0, 0, 0}), {W, H})) EXPECT_EQ(point.y(), 0);
}

TEST(NoiseProfileView, TooFewBinsOrNoSpanAbove20HzDrawNoCurve) {
  EXPECT_TRUE(NoiseProfileView::curve(profile({1, 1}), {W, H}).empty());
  EXPECT_TRUE(NoiseProfileView::curve(profile({1}), {W, H}).empty());
  EXPECT_TRUE(NoiseProfileView::curve(profile({1, 1, 1}, 40), {W, H}).empty());
  EXPECT_TRUE(NoiseProfileView::curve(profile({1, 1, 1}, 0), {W, H}).empty());
}
