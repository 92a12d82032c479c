#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSettings>

#include <cmath>

#include "SheetTestSupport.h"
#include "document/AudioDocument.h"
#include "window/EditorWindowController.h"
#include "sheets/FadeCurvePreview.h"
#include "sheets/FadeSheet.h"
#include "support/Preferences.h"

using EditorModelFixtureSupport::numbered;
using quar::FadeShape;

class FadeSheetTest : public SheetTest {
protected:
  static QComboBox* curveMenu(QWidget* sheet) { return sheet->findChild<QComboBox*>(QStringLiteral("curveMenu")); }
  static void pick(QComboBox* menu, int index) {
    menu->setCurrentIndex(index);
    Q_EMIT menu->activated(index);
  }
};

TEST_F(FadeSheetTest, CurvePreviewPoints) {
  const QSizeF size(200, 90);
  const QPolygonF linearIn = FadeCurvePreview::curve(FadeShape::linear, true, size);
  ASSERT_EQ(linearIn.size(), 101);
  EXPECT_EQ(linearIn.front(), QPointF(0, 86));
  EXPECT_EQ(linearIn.back(), QPointF(200, 4));
  EXPECT_EQ(linearIn[25], QPointF(50, 86 - 82 * 0.25));
  const QPolygonF linearOut = FadeCurvePreview::curve(FadeShape::linear, false, size);
  EXPECT_EQ(linearOut.front(), QPointF(0, 4));
  EXPECT_EQ(linearOut.back(), QPointF(200, 86));
  EXPECT_NEAR(FadeCurvePreview::curve(FadeShape::equalPower, true, size)[50].y(), 86 - 82 * std::sin(M_PI / 4), 1e-9);
  EXPECT_NEAR(FadeCurvePreview::curve(FadeShape::sCurve, false, size)[50].y(), 86 - 82 * 0.5, 1e-9);
  // Eight points high: the curve lies flat at y = 4.
  for (const QPointF& point : FadeCurvePreview::curve(FadeShape::exponential, true, QSizeF(100, 8))) EXPECT_EQ(point.y(), 4);
}

TEST_F(FadeSheetTest, OpensOnTheStoredShapeOrSCurve) {
  auto model = makeModel(numbered(1000));
  struct Case {
    const char* stored;  // null: nothing stored
    int index;
  };
  for (const Case& c : {Case{nullptr, 3}, Case{"equalPower", 4}, Case{"linear", 0}, Case{"cosine", 3}}) {
    QSettings().clear();
    if (c.stored) QSettings().setValue(Preferences::Keys::fadeShape, QString::fromUtf8(c.stored));
    const QPointer<FadeSheet> sheet = present(new FadeSheet(*model, nullptr));
    QComboBox* menu = curveMenu(sheet);
    ASSERT_EQ(menu->count(), 5);
    EXPECT_EQ(menu->itemText(0), QStringLiteral("Linear"));
    EXPECT_EQ(menu->itemText(1), QStringLiteral("Logarithmic (fast)"));
    EXPECT_EQ(menu->itemText(2), QStringLiteral("Exponential (slow)"));
    EXPECT_EQ(menu->itemText(3), QStringLiteral("S-Curve"));
    EXPECT_EQ(menu->itemText(4), QStringLiteral("Equal Power"));
    EXPECT_EQ(menu->currentIndex(), c.index) << (c.stored ? c.stored : "none");
    EXPECT_EQ(sheet->direction(), quar::FadeDirection::fadeIn);
    EXPECT_TRUE(sheet->findChild<QPushButton*>(QStringLiteral("Fade In"))->isChecked());
    sheet->reject();
  }
}

// The quick fade commands take the window's default fade shape.
TEST_F(FadeSheetTest, ApplyStoresTheShapeForTheQuickFadesAndCancelStoresNothing) {
  auto model = makeModel(numbered(1000));
  model->setSelection(quar::FrameRange(0, 500));
  QPointer<FadeSheet> sheet = present(new FadeSheet(*model, nullptr));
  pick(curveMenu(sheet), 0);
  sheet->findChild<QPushButton*>(QStringLiteral("Fade Out"))->click();
  auto* preview = sheet->findChild<FadeCurvePreview*>();
  EXPECT_EQ(preview->shape(), FadeShape::linear);
  EXPECT_FALSE(preview->fadeIn());
  EXPECT_EQ(preview->height(), 90);
  EXPECT_EQ(preview->width(), SheetContainer::sheetWidth - 40);
  press(sheet, Qt::Key_Escape);
  ASSERT_TRUE(closed(sheet));
  EXPECT_FALSE(QSettings().contains(Preferences::Keys::fadeShape));

  sheet = present(new FadeSheet(*model, nullptr));
  pick(curveMenu(sheet), 0);
  // Return applies even with a direction button focused.
  QPushButton* fadeOut = sheet->findChild<QPushButton*>(QStringLiteral("Fade Out"));
  fadeOut->click();
  fadeOut->setFocus();
  EditorTestSupport::savePicture(*sheet, QStringLiteral("fade-sheet"));
  QTest::keyClick(fadeOut, Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  EXPECT_EQ(QSettings().value(Preferences::Keys::fadeShape).toString(), QStringLiteral("linear"));
  EXPECT_EQ(EditorWindowController::defaultFadeShape(), FadeShape::linear);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Fade Out"));
  // Linear over 500 frames: frame 250 keeps half its level.
  EXPECT_NEAR(model->content().sample(0, 250), 251 * 0.5, 1.0);

  // The next sheet starts on the stored curve.
  sheet = present(new FadeSheet(*model, nullptr));
  EXPECT_EQ(curveMenu(sheet)->currentText(), QStringLiteral("Linear"));
  sheet->reject();
}

// The shape is stored even when the model then does nothing (no selection).
TEST_F(FadeSheetTest, TheShapeIsStoredBeforeTheModelIsAsked) {
  auto model = makeModel(numbered(1000));
  const QPointer<FadeSheet> sheet = present(new FadeSheet(*model, nullptr));
  pick(curveMenu(sheet), 2);
  sheet->actionButton()->click();
  ASSERT_TRUE(closed(sheet));
  EXPECT_EQ(EditorWindowController::defaultFadeShape(), FadeShape::exponential);
  EXPECT_EQ(undo.changeCount(), 0);
}
