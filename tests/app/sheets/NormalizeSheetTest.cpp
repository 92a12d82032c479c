#include <gtest/gtest.h>

#include <QCheckBox>

#include <cmath>

#include "SheetTestSupport.h"
#include "core/Processing.h"
#include "sheets/NormalizeSheet.h"

using EditorModelFixtureSupport::tone;

class NormalizeSheetTest : public SheetTest {
protected:
  static ParamSlider& target(QWidget* sheet) { return *sheet->findChild<ParamSlider*>(QStringLiteral("targetSlider")); }
};

TEST_F(NormalizeSheetTest, StartsAtMinusOneWithinMinus24To0) {
  auto model = makeModel(tone(4800, {0.5f, 0.25f}));
  const QPointer<NormalizeSheet> sheet = present(new NormalizeSheet(*model, nullptr));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Normalize Peak"));
  EXPECT_EQ(sheet->actionButton()->text(), QStringLiteral("Normalize"));
  ParamSlider& slider = target(sheet);
  EXPECT_EQ(slider.label(), QStringLiteral("Peak level"));
  EXPECT_EQ(slider.range(), (ParamSlider::Range{-24, 0}));
  EXPECT_EQ(slider.unit(), QStringLiteral("dBFS"));
  EXPECT_EQ(slider.scale(), ParamSlider::Scale::linear);
  EXPECT_EQ(EditorTestSupport::text(slider), QStringLiteral("-1.0"));
  EditorTestSupport::slide(slider, 8543);  // -3.4968 dBFS on the travel
  EXPECT_EQ(EditorTestSupport::text(slider), QStringLiteral("-3.5"));
  EXPECT_EQ(sheet->target(), -3.5);
  auto* toggle = sheet->findChild<QCheckBox*>(QStringLiteral("independentToggle"));
  EXPECT_EQ(toggle->text(), QStringLiteral("Normalize each channel independently"));
  EXPECT_TRUE(toggle->isEnabled());
  EXPECT_FALSE(toggle->isChecked());
  EditorTestSupport::savePicture(*sheet, QStringLiteral("normalize-sheet"));
  sheet->setPalette(EditorTestSupport::palette(true));
  EditorTestSupport::savePicture(*sheet, QStringLiteral("normalize-sheet-dark"));
  sheet->reject();

  auto mono = makeModel(tone(4800, {0.5f}));
  const QPointer<NormalizeSheet> monoSheet = present(new NormalizeSheet(*mono, nullptr));
  EXPECT_FALSE(monoSheet->findChild<QCheckBox*>(QStringLiteral("independentToggle"))->isEnabled());
  monoSheet->reject();
}

TEST_F(NormalizeSheetTest, AppliesTheTargetToEachChannelWhenAsked) {
  for (const bool independent : {false, true}) {
    auto model = makeModel(tone(4800, {0.5f, 0.25f}));
    QPointer<NormalizeSheet> sheet = present(new NormalizeSheet(*model, nullptr));
    EditorTestSupport::slide(target(sheet), 7500);
    if (independent) sheet->findChild<QCheckBox*>(QStringLiteral("independentToggle"))->click();
    sheet->actionButton()->click();
    ASSERT_TRUE(closed(sheet));
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Normalize"));
    const std::vector<float> peaks = quar::samplePeaks(model->content());
    EXPECT_NEAR(peaks[0], 0.501187, 1e-4) << independent;  // -6 dBFS
    EXPECT_NEAR(peaks[1], independent ? 0.501187 : 0.250594, 1e-4) << independent;
    undo.removeAllActions();
  }
}

// A typed target is clamped into the range and held to the tenth of a dB the field shows; Return
// commits it and normalises to it.
TEST_F(NormalizeSheetTest, NormalizesToTheTypedTargetAsShown) {
  struct Case {
    const char* typed;
    double target;
  };
  for (const Case& c : {Case{"-6.04", -6.0}, Case{"-3,5", -3.5}, Case{"2", 0}, Case{"-40", -24},
                        Case{"6 dB", -1.0}}) {
    auto model = makeModel(tone(4800, {0.5f, 0.25f}));
    QPointer<NormalizeSheet> sheet = present(new NormalizeSheet(*model, nullptr));
    EditorTestSupport::type(target(sheet), QString::fromUtf8(c.typed));
    ASSERT_TRUE(closed(sheet)) << c.typed;
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_NEAR(quar::samplePeaks(model->content())[0], std::pow(10, c.target / 20), 1e-5) << c.typed;
    undo.removeAllActions();
  }
}
