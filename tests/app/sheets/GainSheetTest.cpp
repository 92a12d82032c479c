#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSlider>

#include <cmath>
#include <limits>

#include "SheetTestSupport.h"
#include "sheets/GainSheet.h"
#include "widgets/ViewStyle.h"

using EditorModelFixtureSupport::tone;

class GainSheetTest : public SheetTest {
protected:
  // A stereo tone whose louder channel peaks at `db` dBFS.
  std::unique_ptr<EditorModel> peakingAt(double db) {
    const auto peak = static_cast<float>(std::pow(10, db / 20));
    return makeModel(quar::AudioContent({std::vector<float>{0.1f, -0.2f, 0.05f}, std::vector<float>{0.3f, -peak, 0.0f}}, 48000));
  }
  static void type(GainSheet* sheet, const QString& typed) {
    auto* field = sheet->findChild<QLineEdit*>(QStringLiteral("gainField"));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, typed);
  }
};

TEST_F(GainSheetTest, PeakReadOuts) {
  EXPECT_EQ(GainSheet::peakDB({}), -144);
  EXPECT_EQ(GainSheet::peakDB({0, 0}), -144);
  EXPECT_EQ(GainSheet::peakDB({1e-9f}), -144);
  EXPECT_NEAR(GainSheet::peakDB({0.25f, 0.5f, 0.125f}), -6.0206, 1e-4);

  struct Case {
    double peak;
    double gain;
    const char* line;
    bool red;
  };
  for (const Case& c : {
           Case{-0.5, 0.4, "Current peak -0.5 dBFS \u2192 -0.1 dBFS after gain.", false},
           Case{-0.5, 0.6, "Current peak -0.5 dBFS \u2192 0.1 dBFS after gain.", true},
           Case{-0.5, 0.5, "Current peak -0.5 dBFS \u2192 0.0 dBFS after gain.", false},
           // Silence stays silence whatever the gain.
           Case{-144, 40, "Current peak \u2013\u221E dBFS \u2192 \u2013\u221E dBFS after gain.", false},
           Case{-144, -40, "Current peak \u2013\u221E dBFS \u2192 \u2013\u221E dBFS after gain.", false},
           Case{-139, 40, "Current peak -139.0 dBFS \u2192 -99.0 dBFS after gain.", false},
           Case{-100, -40, "Current peak -100.0 dBFS \u2192 \u2013\u221E dBFS after gain.", false},
           Case{-100, -39.9, "Current peak -100.0 dBFS \u2192 -139.9 dBFS after gain.", false},
       }) {
    EXPECT_EQ(GainSheet::peakLine(c.peak, c.gain), QString::fromUtf8(c.line)) << c.peak << " " << c.gain;
    EXPECT_EQ(GainSheet::clips(c.peak, c.gain), c.red) << c.peak << " " << c.gain;
  }
  EXPECT_EQ(GainSheet::levelText(std::numeric_limits<double>::infinity()), QStringLiteral("\u2013\u221E"));
  EXPECT_EQ(GainSheet::levelText(std::nan("")), QStringLiteral("\u2013\u221E"));
}

TEST_F(GainSheetTest, ThePeakLineFollowsTheGainTheSelectionAndTheContent) {
  auto model = peakingAt(-0.5);
  const QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  auto* slider = sheet->findChild<QSlider*>(QStringLiteral("gainSlider"));
  auto* line = sheet->findChild<QLabel*>(QStringLiteral("peakLine"));
  EXPECT_EQ(slider->minimum(), -400);
  EXPECT_EQ(slider->maximum(), 400);
  EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("gainField"))->text(), QStringLiteral("0.0"));
  const QColor secondary = ViewStyle::secondary(sheet->palette());
  const QColor red = ViewStyle::systemRed.resolved(sheet->palette());

  slider->setValue(4);
  EXPECT_EQ(line->text(), QStringLiteral("Current peak -0.5 dBFS \u2192 -0.1 dBFS after gain."));
  EXPECT_EQ(line->palette().color(QPalette::WindowText), secondary);
  EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("gainField"))->text(), QStringLiteral("0.4"));
  EditorTestSupport::savePicture(*sheet, QStringLiteral("gain-sheet"));
  slider->setValue(6);
  EXPECT_EQ(line->text(), QStringLiteral("Current peak -0.5 dBFS \u2192 0.1 dBFS after gain."));
  EXPECT_EQ(line->palette().color(QPalette::WindowText), red);
  EditorTestSupport::savePicture(*sheet, QStringLiteral("gain-sheet-clipping"));

  // Only the first two frames: the quieter samples (peak 0.3).
  model->setSelection(quar::FrameRange(0, 1));
  EXPECT_EQ(line->text(), QStringLiteral("Current peak -10.5 dBFS \u2192 -9.9 dBFS after gain."));
  model->setSelection(std::nullopt);
  model->setContent(quar::AudioContent(2, 48000));
  slider->setValue(400);
  EXPECT_EQ(line->text(), QStringLiteral("Current peak \u2013\u221E dBFS \u2192 \u2013\u221E dBFS after gain."));
  EXPECT_EQ(line->palette().color(QPalette::WindowText), secondary);
  sheet->reject();
}

// A typed gain is held to the slider's range before it reaches the model.
TEST_F(GainSheetTest, TypedGainsAreClampedToPlusMinus40) {
  struct Case {
    const char* typed;
    double db;
    const char* undoName;
  };
  for (const Case& c : {
           Case{"55", 40, "Gain +40.0 dB"},
           Case{"-1e9", -40, "Gain -40.0 dB"},
           Case{"inf", 40, "Gain +40.0 dB"},
           Case{"1,5", 1.5, "Gain +1.5 dB"},
           Case{"-3.3", -3.3, "Gain -3.3 dB"},
           Case{"loud", 0, "Gain +0.0 dB"},
       }) {
    auto model = peakingAt(-6);
    QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
    type(sheet, QString::fromUtf8(c.typed));
    QTest::keyClick(sheet->focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(closed(sheet)) << c.typed;
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(undo.undoActionName(), QString::fromUtf8(c.undoName)) << c.typed;
    const double expectedPeak = std::pow(10, (-6 + c.db) / 20);
    EXPECT_NEAR(model->content().sample(1, 1), -expectedPeak, 1e-5) << c.typed;
    undo.removeAllActions();
  }
}

TEST_F(GainSheetTest, TypingShowsTheResultAtOnceAndLeavingTheFieldShowsTheValue) {
  auto model = peakingAt(-0.5);
  const QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  type(sheet, QStringLiteral("3"));
  EXPECT_EQ(text(sheet, "peakLine"), QStringLiteral("Current peak -0.5 dBFS \u2192 2.5 dBFS after gain."));
  EXPECT_EQ(sheet->findChild<QSlider*>(QStringLiteral("gainSlider"))->value(), 30);
  sheet->findChild<QSlider*>(QStringLiteral("gainSlider"))->setFocus();
  EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("gainField"))->text(), QStringLiteral("3.0"));
  EXPECT_EQ(sheet->db(), 3);
  sheet->reject();
}

// Up and Down in the field step the gain as the slider's arrows do (0.1 dB), Page Up and Page
// Down by 1 dB.
TEST_F(GainSheetTest, KeysInTheFieldStepTheSlider) {
  auto model = peakingAt(-6);
  const QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  auto* field = sheet->findChild<QLineEdit*>(QStringLiteral("gainField"));
  ASSERT_TRUE(field->hasFocus());
  QTest::keyClick(field, Qt::Key_Up);
  EXPECT_EQ(field->text(), QStringLiteral("0.1"));
  QTest::keyClick(field, Qt::Key_PageUp);
  EXPECT_EQ(field->text(), QStringLiteral("1.1"));
  QTest::keyClick(field, Qt::Key_Down);
  EXPECT_DOUBLE_EQ(sheet->db(), 1.0);
  EXPECT_EQ(sheet->findChild<QSlider*>(QStringLiteral("gainSlider"))->value(), 10);
  sheet->reject();
}
