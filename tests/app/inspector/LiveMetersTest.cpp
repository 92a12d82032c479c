#include <gtest/gtest.h>

#include <cmath>

#include "InspectorTestSupport.h"
#include "inspector/LinearMeterRow.h"
#include "inspector/LiveMetersSection.h"
#include "platform/NullAudioBackend.h"
#include "widgets/ViewStyle.h"

using EditorModelFixtureSupport::tone;

TEST(LinearMeterRowGeometry, PositionsWidthsAndColours) {
  struct Case {
    double level;
    double position;
  };
  for (const Case& c : {Case{-70, 0}, Case{-60, 0}, Case{-30, 0.5}, Case{0, 1}, Case{6, 1}, Case{std::nan(""), 0}})
    EXPECT_DOUBLE_EQ(LinearMeterRow::position(c.level, -60, 0), c.position) << c.level;
  EXPECT_DOUBLE_EQ(LinearMeterRow::levelWidth(-120, -60, 0, 200), 0);
  EXPECT_DOUBLE_EQ(LinearMeterRow::levelWidth(3, -60, 0, 200), 200);
  // A target of −14 LUFS sits at 40/54 of the loudness bars.
  EXPECT_DOUBLE_EQ(LinearMeterRow::position(-14, -54, 0), 40.0 / 54);

  EXPECT_TRUE(LinearMeterRow::isHot(-0.5));
  EXPECT_FALSE(LinearMeterRow::isHot(-1.0));
  EXPECT_TRUE(LinearMeterRow::isHot(-0.9));
  EXPECT_EQ(LinearMeterRow::valueText(-120), QStringLiteral("–∞"));
  EXPECT_EQ(LinearMeterRow::valueText(-99.96), QStringLiteral("-100.0"));
  EXPECT_EQ(LinearMeterRow::valueText(-6.02), QStringLiteral("-6.0"));
}

class LiveMetersTest : public InspectorFixture {
protected:
  void TearDown() override {
    if (model) model->stop(false);
    InspectorFixture::TearDown();
  }
  static std::vector<QString> labels(const LiveMetersSection& section) {
    std::vector<QString> result;
    for (LinearMeterRow* row : section.rows()) result.push_back(row->findChild<QLabel*>("meterLabel")->text());
    return result;
  }
  static QImage barImage(LinearMeterRow* row) { return row->bar()->grab().toImage(); }
};

TEST_F(LiveMetersTest, RowsFollowTheReading) {
  model = makeModel(tone(4800, {0.5f, 0.5f}));
  model->transport().setMeter(MeterReading{});
  auto* section = show(new LiveMetersSection(model.get()));
  EXPECT_EQ(labels(*section), (std::vector<QString>{"Momentary", "Short-term"}));
  model->transport().setMeter(MeterReading{{-6, -12}, {-3}, {-9, -15}, -14, -15, -10});
  EXPECT_EQ(labels(*section), (std::vector<QString>{"Momentary", "Short-term", "Peak L", "Peak R"}));
  const auto rows = section->rows();
  EXPECT_EQ(rows[0]->reading(), (LinearMeterRow::Reading{-14, -14.0, std::nullopt, std::nullopt}));
  EXPECT_EQ(rows[2]->reading(), (LinearMeterRow::Reading{-6, std::nullopt, -3.0, -9.0}));
  EXPECT_EQ(rows[3]->reading(), (LinearMeterRow::Reading{-12, std::nullopt, std::nullopt, -15.0}));  // no hold for R

  model->load(tone(4800, {0.5f}), std::nullopt);
  EXPECT_EQ(labels(*section), (std::vector<QString>{"Momentary", "Short-term", "Peak Mono"}));
}

TEST_F(LiveMetersTest, BarsTurnRedAtTheTipAboveMinusOne) {
  model = makeModel(tone(4800, {0.5f}));
  auto* section = show(new LiveMetersSection(model.get()));
  model->transport().setMeter(MeterReading{{-0.5}, {-0.9}, {-20}, -0.5, -1.0, -0.5});
  const auto rows = section->rows();
  const QColor red = ViewStyle::systemRed.resolved(rows[0]->palette());
  const auto isRed = [&](const QColor& c) { return std::abs(c.red() - red.red()) < 20 && c.green() < 120; };
  QImage momentary = barImage(rows[0]);
  const int tip = static_cast<int>(momentary.width() * (53.5 / 54)) - 3;
  EXPECT_TRUE(isRed(momentary.pixelColor(tip, momentary.height() / 2)));
  QImage shortTerm = barImage(rows[1]);
  EXPECT_FALSE(
      isRed(shortTerm.pixelColor(static_cast<int>(shortTerm.width() * (53.0 / 54)) - 3, shortTerm.height() / 2)));
  // The target mark at 40/54 of the width, less one point, in the target colour.
  const int mark = static_cast<int>(momentary.width() * 40.0 / 54);
  EXPECT_EQ(shortTerm.pixelColor(mark, 1).rgb(), Theme::loudnessTarget.resolved(rows[1]->palette()).rgb());
  // A hold of −0.9 dBFS is red.
  QImage peak = barImage(rows[2]);
  EXPECT_TRUE(isRed(peak.pixelColor(static_cast<int>(peak.width() * (59.1 / 60)), 1)));
}

TEST_F(LiveMetersTest, ATonePlayedOnTheNullDeviceReadsItsLevel) {
  model = makeModel(tone(96000, {0.5f, 0.5f}));
  auto* section = show(new LiveMetersSection(model.get()));
  model->play(false);
  auto& device = dynamic_cast<NullAudioBackend&>(AudioBackend::shared());
  for (int tick = 0; tick < 20; ++tick) {
    device.pump(1600);
    model->transportTick();
  }
  const auto rows = section->rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_NEAR(rows[2]->reading().value, -6.02, 0.1);
  EXPECT_EQ(rows[2]->findChild<QLabel*>("meterValue")->text(), QStringLiteral("-6.0"));
  EXPECT_NEAR(*rows[2]->reading().secondary, -9.03, 0.2);  // RMS of a sine: 3 dB below its peak
  EXPECT_GT(rows[0]->reading().value, -20);                // the momentary loudness moved off its rest
}
