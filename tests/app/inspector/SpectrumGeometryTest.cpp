#include <gtest/gtest.h>

#include <cmath>

#include "inspector/SpectrumGeometry.h"

namespace {

const QSizeF canvas(334, 220);  // plot rectangle x [30, 330], y [6, 202]

SpectrumGeometry geometry(double rate, FrequencyScale frequency = FrequencyScale::logarithmic,
                          AmplitudeScale amplitude = AmplitudeScale::decibels, int fftSize = 8192) {
  return SpectrumGeometry(canvas, rate, fftSize, frequency, amplitude);
}

std::vector<QString> labels(const std::vector<SpectrumGeometry::Tick>& ticks) {
  std::vector<QString> result;
  for (const auto& tick : ticks) result.push_back(tick.label);
  return result;
}

} // namespace

TEST(SpectrumGeometry, PlotRectangleAndAxes) {
  const SpectrumGeometry log = geometry(48000);
  EXPECT_EQ(log.plot(), QRectF(30, 6, 300, 196));
  EXPECT_DOUBLE_EQ(log.x(20), 30);
  EXPECT_DOUBLE_EQ(log.x(5), 30);  // below 20 Hz sits on the left edge
  EXPECT_DOUBLE_EQ(log.x(24000), 330);
  EXPECT_DOUBLE_EQ(geometry(48000, FrequencyScale::linear).x(12000), 180);

  struct Level {
    AmplitudeScale scale;
    double db;
    double y;
  };
  for (const Level& c : {Level{AmplitudeScale::decibels, 0, 6}, Level{AmplitudeScale::decibels, -60, 104},
                         Level{AmplitudeScale::decibels, -120, 202}, Level{AmplitudeScale::decibels, -200, 202},
                         Level{AmplitudeScale::decibels, 6, 6}, Level{AmplitudeScale::linear, 0, 6},
                         Level{AmplitudeScale::linear, -200, 202}, Level{AmplitudeScale::decibels, std::nan(""), 202}})
    EXPECT_NEAR(geometry(48000, FrequencyScale::logarithmic, c.scale).y(c.db), c.y, 1e-6) << c.db;
  EXPECT_NEAR(geometry(48000, FrequencyScale::logarithmic, AmplitudeScale::linear).y(-6.0206), 104, 0.01);
}

TEST(SpectrumGeometry, TicksUpToTheNyquistFrequency) {
  struct Case {
    double rate;
    FrequencyScale scale;
    std::vector<QString> labels;
  };
  const std::vector<Case> cases{
      {48000, FrequencyScale::logarithmic, {"50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"}},
      {32000, FrequencyScale::logarithmic, {"50", "100", "200", "500", "1k", "2k", "5k", "10k"}},
      {48000, FrequencyScale::linear, {"0", "5k", "10k", "15k", "20k"}},
      {96000, FrequencyScale::linear, {"0", "10k", "20k", "30k", "40k"}},
      {60000, FrequencyScale::linear, {"0", "5k", "10k", "15k", "20k", "25k", "30k"}},
  };
  for (const Case& c : cases) EXPECT_EQ(labels(geometry(c.rate, c.scale).frequencyTicks()), c.labels) << c.rate;
  EXPECT_EQ(labels(geometry(48000).levelTicks()), (std::vector<QString>{"0", "-24", "-48", "-72", "-96"}));
  EXPECT_EQ(labels(geometry(48000, FrequencyScale::linear, AmplitudeScale::linear).levelTicks()),
            (std::vector<QString>{"1", ".5", ".25"}));
}

TEST(SpectrumGeometry, TheCurveSkipsDCAndThinsToTheLouderPoint) {
  const SpectrumGeometry linear = geometry(48000, FrequencyScale::linear, AmplitudeScale::decibels, 32768);
  std::vector<float> spectrum(16385, -100);
  spectrum[0] = 0;      // DC: never drawn
  spectrum[3] = -10;    // shares its point with its neighbours
  const std::vector<QPointF> points = linear.curve(spectrum);
  ASSERT_FALSE(points.empty());
  EXPECT_GT(points.front().x(), 30);
  EXPECT_NEAR(points.front().y(), linear.y(-10), 1e-9);
  for (size_t i = 1; i < points.size(); ++i) EXPECT_GE(points[i].x() - points[i - 1].x(), 0.75);
  EXPECT_LE(points.size(), 401u);

  // On the log scale the bins below 20 Hz are left out.
  const SpectrumGeometry log = geometry(48000);
  const std::vector<QPointF> logPoints = log.curve(std::vector<float>(4097, -60));
  EXPECT_GE(logPoints.front().x(), 30);
  EXPECT_NEAR(logPoints.front().x(), log.x(48000.0 * 4 / 8192), 1e-9);  // bin 4 is the first at 20 Hz or above

  EXPECT_TRUE(linear.curve({-1, -2}).empty());
}

TEST(SpectrumGeometry, TheHoldTraceTakesEveryStepthBin) {
  const SpectrumGeometry linear = geometry(48000, FrequencyScale::linear);
  EXPECT_EQ(linear.holdTrace(std::vector<float>(799, -50), 799).size(), 798u);
  const std::vector<QPointF> large = linear.holdTrace(std::vector<float>(4097, -50), 4097);
  EXPECT_EQ(large.size(), 820u);  // bins 1, 6, 11, ... 4096
  EXPECT_TRUE(linear.holdTrace({}, 4097).empty());
  EXPECT_TRUE(linear.holdTrace(std::vector<float>(4096, -50), 4097).empty());
}

TEST(SpectrumGeometry, HoverReadOut) {
  std::vector<float> spectrum(4097, -60);
  spectrum[171] = -12.3f;  // 1002 Hz
  const SpectrumGeometry log = geometry(48000);
  const double at1k = 30 + 300 * std::log10(1000.0 / 20) / std::log10(24000.0 / 20);
  const auto readout = log.readout(QPointF(at1k, 100), spectrum);
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->bin, 171);
  EXPECT_EQ(readout->text, QStringLiteral("1.00 kHz  -12.3 dB"));

  struct Case {
    FrequencyScale scale;
    double x;
    double frequency;
    int bin;
    const char* text;
    double labelX;
  };
  for (const Case& c : {Case{FrequencyScale::logarithmic, 30, 20, 3, "20 Hz  -60.0 dB", 90},
                        Case{FrequencyScale::linear, 30, 0, 0, "0 Hz  -60.0 dB", 90},
                        Case{FrequencyScale::linear, 330, 24000, 4096, "24.00 kHz  -60.0 dB", 270},
                        Case{FrequencyScale::linear, 180, 12000, 2048, "12.00 kHz  -60.0 dB", 180}}) {
    const auto r = geometry(48000, c.scale).readout(QPointF(c.x, 50), spectrum);
    ASSERT_TRUE(r) << c.x;
    EXPECT_NEAR(r->frequency, c.frequency, 1e-9) << c.x;
    EXPECT_EQ(r->bin, c.bin) << c.x;
    EXPECT_EQ(r->text, QString::fromLatin1(c.text)) << c.x;
    EXPECT_EQ(r->labelCenter, QPointF(c.labelX, 16)) << c.x;
  }
  EXPECT_FALSE(log.readout(QPointF(29.9, 100), spectrum));
  EXPECT_FALSE(log.readout(QPointF(100, 203), spectrum));
  EXPECT_FALSE(log.readout(QPointF(100, 100), {-1, -2}));  // too short to draw: no read-out
}
