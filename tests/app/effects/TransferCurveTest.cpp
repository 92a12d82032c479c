// The compressor's transfer curve: where the static curve, the make-up and the threshold land.
#include <gtest/gtest.h>

#include "effects/CompressorEditor.h"
#include "effects/TransferCurve.h"

using quar::CompressorSettings;

namespace {

constexpr double w = 120;
constexpr double h = 120;

// The output level (dB) the curve draws for an input level (a multiple of 0.5 dB).
double drawnOutput(const CompressorSettings& settings, double inputDB) {
  const std::vector<QPointF> points = TransferCurve::curve(settings, {w, h});
  const auto index = static_cast<size_t>((inputDB + 60) * 2);
  EXPECT_DOUBLE_EQ(points.at(index).x(), TransferCurve::xOf(inputDB, w));
  return (h - points.at(index).y()) / h * 60 - 60;
}

} // namespace

TEST(TransferCurve, AxesSpanMinusSixtyToZeroDecibels) {
  EXPECT_EQ(TransferCurve::xOf(-60, w), 0);
  EXPECT_EQ(TransferCurve::xOf(0, w), w);
  EXPECT_EQ(TransferCurve::xOf(-18, w), 0.7 * w);  // the default threshold's marker
  EXPECT_EQ(TransferCurve::yOf(0, h), 0);
  EXPECT_EQ(TransferCurve::yOf(-60, h), h);
  EXPECT_EQ(TransferCurve::yOf(6, h), 0);     // above the top: on the edge
  EXPECT_EQ(TransferCurve::yOf(-80, h), h);   // below the bottom: on the edge
  EXPECT_EQ(TransferCurve::yOf(std::numeric_limits<double>::quiet_NaN(), h), h);
}

// Defaults (threshold -18, ratio 4, knee 6): unity up to -21 dB, the knee up to -15 dB, then a
// slope of 1/4; auto make-up lifts everything by half the reduction at 0 dB (6.75 dB).
TEST(TransferCurve, DefaultCurveBendsThroughTheKneeIntoAQuarterSlope) {
  CompressorSettings settings;
  EXPECT_EQ(TransferCurve::curve(settings, {w, h}).size(), 121u);
  struct Case {
    double input;
    double output;
  };
  const Case cases[] = {{-60, -60}, {-30, -30}, {-21, -21}, {-18, -18.5625}, {-15, -17.25}, {-10, -16}, {0, -13.5}};
  for (const Case& c : cases) EXPECT_NEAR(drawnOutput(settings, c.input), c.output, 1e-9) << c.input;
  EXPECT_EQ(CompressorEditor::makeupText(settings), "Makeup +0.0 dB");

  settings.autoMakeup = true;
  for (const Case& c : cases) EXPECT_NEAR(drawnOutput(settings, c.input), std::min(c.output + 6.75, 0.0), 1e-9);
  EXPECT_EQ(CompressorEditor::makeupText(settings), "Makeup +6.8 dB");

  settings.autoMakeup = false;
  settings.makeupGainDB = -3;
  EXPECT_EQ(CompressorEditor::makeupText(settings), "Makeup -3.0 dB");
}

TEST(TransferCurve, RatioOneFollowsTheUnityLineShiftedByTheMakeup) {
  CompressorSettings settings;
  settings.ratio = 1;
  settings.makeupGainDB = 12;
  EXPECT_NEAR(drawnOutput(settings, -40), -28, 1e-9);
  EXPECT_NEAR(drawnOutput(settings, -5), 0, 1e-9);  // would leave the canvas: runs along the top
  settings.kneeDB = 0;
  settings.ratio = 2;
  settings.makeupGainDB = 0;
  EXPECT_NEAR(drawnOutput(settings, -18), -18, 1e-9);  // a sharp corner at the threshold
  EXPECT_NEAR(drawnOutput(settings, -10), -14, 1e-9);
}
