#include <gtest/gtest.h>

#include <QDoubleSpinBox>

#include <cmath>
#include <limits>

#include "SheetTestSupport.h"
#include "sheets/InsertSilenceSheet.h"

using EditorModelFixtureSupport::numbered;

class InsertSilenceSheetTest : public SheetTest {
protected:
  static QDoubleSpinBox* field(QWidget* sheet) { return sheet->findChild<QDoubleSpinBox*>(QStringLiteral("secondsField")); }
};

TEST_F(InsertSilenceSheetTest, FramesAreTruncatedAndNeverOutOfRange) {
  struct Case {
    double seconds;
    double rate;
    int64_t frames;
  };
  for (const Case& c : {Case{1.0, 44100, 44100}, Case{0.001, 44100, 44}, Case{0.00001, 44100, 0}, Case{3600, 192000, 691200000},
                        Case{1e300, 1e300, 0}, Case{std::numeric_limits<double>::quiet_NaN(), 48000, 0}, Case{-1, 48000, 0}})
    EXPECT_EQ(InsertSilenceSheet::frames(c.seconds, c.rate), c.frames) << c.seconds << " s at " << c.rate;
}

TEST_F(InsertSilenceSheetTest, StepsWithinItsRangeAndNamesWhereTheSilenceGoes) {
  auto model = makeModel(numbered(1000));
  const QPointer<InsertSilenceSheet> sheet = present(new InsertSilenceSheet(*model, nullptr));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Insert Silence"));
  EXPECT_EQ(sheet->actionButton()->text(), QStringLiteral("Insert"));
  QDoubleSpinBox* seconds = field(sheet);
  EXPECT_EQ(seconds->text(), QStringLiteral("1"));
  seconds->stepDown();
  EXPECT_EQ(seconds->text(), QStringLiteral("0.5"));
  seconds->stepDown();
  EXPECT_EQ(seconds->value(), 0.001);
  EXPECT_EQ(seconds->text(), QStringLiteral("0.001"));
  seconds->setValue(3599.8);
  seconds->stepUp();
  EXPECT_EQ(seconds->value(), 3600);
  EXPECT_EQ(seconds->text(), QStringLiteral("3,600"));

  EXPECT_EQ(text(sheet, "placeNote"), QStringLiteral("Inserted at the cursor."));
  model->setSelection(quar::FrameRange(10, 20));
  EXPECT_EQ(text(sheet, "placeNote"), QStringLiteral("Inserted at the start of the selection."));
  EditorTestSupport::savePicture(*sheet, QStringLiteral("insert-silence-sheet"));
  sheet->reject();
}

TEST_F(InsertSilenceSheetTest, InsertsTheTypedLengthIntoEveryChannel) {
  auto model = makeModel(numbered(1000, 2, 44100));
  model->setSelection(quar::FrameRange(100, 200));
  const QPointer<InsertSilenceSheet> sheet = present(new InsertSilenceSheet(*model, nullptr));
  QDoubleSpinBox* seconds = field(sheet);
  seconds->setFocus();
  seconds->selectAll();
  QTest::keyClicks(seconds, QStringLiteral("0.001"));
  QTest::keyClick(seconds, Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  EXPECT_EQ(model->content().frameCount(), 1044);
  EXPECT_EQ(model->selection(), quar::FrameRange(100, 144));
  for (int channel : {0, 1}) {
    EXPECT_EQ(model->content().sample(channel, 99), static_cast<float>(channel * 10000 + 100));
    EXPECT_EQ(model->content().sample(channel, 120), 0);
    EXPECT_EQ(model->content().sample(channel, 144), static_cast<float>(channel * 10000 + 101));
  }
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Insert Silence"));
}
