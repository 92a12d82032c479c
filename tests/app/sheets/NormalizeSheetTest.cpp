#include <gtest/gtest.h>

#include <QCheckBox>
#include <QSlider>

#include "SheetTestSupport.h"
#include "core/Processing.h"
#include "sheets/NormalizeSheet.h"

using EditorModelFixtureSupport::tone;

class NormalizeSheetTest : public SheetTest {};

TEST_F(NormalizeSheetTest, StartsAtMinusOneWithinMinus24To0) {
  auto model = makeModel(tone(4800, {0.5f, 0.25f}));
  const QPointer<NormalizeSheet> sheet = present(new NormalizeSheet(*model, nullptr));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Normalize Peak"));
  EXPECT_EQ(sheet->actionButton()->text(), QStringLiteral("Normalize"));
  EXPECT_EQ(text(sheet, "targetValue"), QStringLiteral("-1.0 dBFS"));
  auto* slider = sheet->findChild<QSlider*>(QStringLiteral("targetSlider"));
  EXPECT_EQ(slider->minimum(), -240);
  EXPECT_EQ(slider->maximum(), 0);
  slider->setValue(-35);
  EXPECT_EQ(text(sheet, "targetValue"), QStringLiteral("-3.5 dBFS"));
  EXPECT_EQ(sheet->target(), -3.5);
  auto* toggle = sheet->findChild<QCheckBox*>(QStringLiteral("independentToggle"));
  EXPECT_EQ(toggle->text(), QStringLiteral("Normalize each channel independently"));
  EXPECT_TRUE(toggle->isEnabled());
  EXPECT_FALSE(toggle->isChecked());
  EditorTestSupport::savePicture(*sheet, QStringLiteral("normalize-sheet"));
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
    sheet->findChild<QSlider*>(QStringLiteral("targetSlider"))->setValue(-60);
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
