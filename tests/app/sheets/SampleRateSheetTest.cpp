#include <gtest/gtest.h>

#include <QComboBox>

#include "SheetTestSupport.h"
#include "sheets/SampleRateSheet.h"

using EditorModelFixtureSupport::numbered;

class SampleRateSheetTest : public SheetTest {};

TEST_F(SampleRateSheetTest, StartsOffTheCurrentRateAndMarksIt) {
  struct Case {
    double rate;
    const char* start;
    int marked;  // -1: none
  };
  for (const Case& c : {Case{48000, "44.1 kHz", 6}, Case{44100, "48 kHz", 5}, Case{12000, "48 kHz", -1},
                        Case{96000, "48 kHz", 8}}) {
    auto model = makeModel(numbered(100, 2, c.rate));
    const QPointer<SampleRateSheet> sheet = present(new SampleRateSheet(*model, nullptr));
    auto* menu = sheet->findChild<QComboBox*>(QStringLiteral("rateMenu"));
    ASSERT_EQ(menu->count(), 11);
    EXPECT_EQ(menu->currentText(), QString::fromUtf8(c.start)) << c.rate;
    for (int i = 0; i < menu->count(); ++i)
      EXPECT_EQ(menu->itemText(i).endsWith(QStringLiteral(" (current)")), i == c.marked) << c.rate << " " << i;
    if (c.rate == 48000) {
      EXPECT_EQ(menu->itemText(0), QStringLiteral("8 kHz"));
      EXPECT_EQ(menu->itemText(1), QStringLiteral("11.0 kHz"));
      EXPECT_EQ(menu->itemText(6), QStringLiteral("48 kHz (current)"));
      EXPECT_EQ(menu->itemText(10), QStringLiteral("192 kHz"));
      EditorTestSupport::savePicture(*sheet, QStringLiteral("sample-rate-sheet"));
    }
    sheet->reject();
  }
}

TEST_F(SampleRateSheetTest, ConvertsToTheChosenRate) {
  auto model = makeModel(numbered(4800, 2, 48000));
  QPointer<SampleRateSheet> sheet = present(new SampleRateSheet(*model, nullptr));
  auto* menu = sheet->findChild<QComboBox*>(QStringLiteral("rateMenu"));
  menu->setCurrentIndex(3);
  Q_EMIT menu->activated(3);
  press(sheet, Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sampleRate(), 22050);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Change Sample Rate"));

  // The current rate changes nothing.
  sheet = present(new SampleRateSheet(*model, nullptr));
  menu = sheet->findChild<QComboBox*>(QStringLiteral("rateMenu"));
  menu->setCurrentIndex(3);
  Q_EMIT menu->activated(3);
  sheet->actionButton()->click();
  ASSERT_TRUE(closed(sheet));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.changeCount(), 1);
}
