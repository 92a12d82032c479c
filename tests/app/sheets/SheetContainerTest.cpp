#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include "DocumentTestSupport.h"
#include "SheetTestSupport.h"
#include "document/AudioDocumentController.h"
#include "window/EditorWindowController.h"
#include "sheets/FadeSheet.h"
#include "sheets/GainSheet.h"
#include "sheets/InsertSilenceSheet.h"
#include "sheets/NormalizeSheet.h"
#include "sheets/SampleRateSheet.h"
#include "sheets/TimePitchSheet.h"

using EditorModelFixtureSupport::numbered;

class SheetContainerTest : public SheetTest {};

TEST_F(SheetContainerTest, ScopeTextNamesTheRangeAndTheActiveChannelsInIndexOrder) {
  struct Case {
    int channels;
    bool selection;
    std::set<int> active;
    const char* text;
  };
  for (const Case& c : {
           Case{2, true, {0, 1}, "Applies to the selection."},
           Case{2, false, {0, 1}, "Applies to the entire file."},
           Case{2, false, {1}, "Applies to the entire file, channel R."},
           Case{2, true, {0}, "Applies to the selection, channel L."},
           Case{1, false, {0}, "Applies to the entire file."},
           Case{6, false, {4, 0, 2}, "Applies to the entire file, channel L, C, Ls."},
           Case{3, true, {2}, "Applies to the selection, channel 3."},
       }) {
    auto model = makeModel(numbered(100, c.channels));
    if (c.selection) model->setSelection(quar::FrameRange(10, 20));
    model->setActiveChannels(c.active);
    EXPECT_EQ(scopeText(*model), QString::fromUtf8(c.text)) << c.channels << " channels";
  }
}

TEST_F(SheetContainerTest, FrameIs420WideWithTitleButtonsAndALiveScopeLine) {
  auto model = makeModel(numbered(1000));
  const QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  EXPECT_EQ(sheet->width(), SheetContainer::sheetWidth);
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(text(sheet, "title"), QStringLiteral("Gain"));
  EXPECT_EQ(sheet->findChild<QPushButton*>(QStringLiteral("cancelButton"))->text(), QStringLiteral("Cancel"));
  EXPECT_EQ(sheet->actionButton()->text(), QStringLiteral("Apply"));
  EXPECT_TRUE(sheet->actionButton()->isDefault());
  EXPECT_EQ(text(sheet, "scope"), QStringLiteral("Applies to the entire file."));
  model->setSelection(quar::FrameRange(0, 10));
  model->setActiveChannels({1});
  EXPECT_EQ(text(sheet, "scope"), QStringLiteral("Applies to the selection, channel R."));
  sheet->reject();
}

TEST_F(SheetContainerTest, EscapeCancelsAndReturnAppliesOnce) {
  auto model = makeModel(numbered(1000));
  QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  press(sheet, Qt::Key_Escape);
  ASSERT_TRUE(closed(sheet));
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(undo.changeCount(), 0);

  sheet = present(new GainSheet(*model, nullptr));
  press(sheet, Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.changeCount(), 1);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Gain +0.0 dB"));
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
}

// Every sheet opens with the focus in its first value field, its text selected (in its menu when
// it has no field), so that what is typed replaces it.
TEST_F(SheetContainerTest, EverySheetOpensWithItsFirstValueFieldFocusedAndSelected) {
  auto model = makeModel(numbered(1000));
  model->setSelection(quar::FrameRange(100, 200));
  struct Case {
    std::function<SheetContainer*()> make;
    const char* field;  // the object name of the field (of its row for a ParamSlider's)
    const char* text;   // its text; none for a menu
  };
  const Case cases[] = {
      {[&] { return new InsertSilenceSheet(*model, nullptr); }, "secondsField", "1"},
      {[&] { return new GainSheet(*model, nullptr); }, "gainField", "0.0"},
      {[&] { return new NormalizeSheet(*model, nullptr); }, "targetSlider", "-1.0"},
      {[&] { return new FadeSheet(*model, nullptr); }, "curveMenu", nullptr},
      {[&] { return new SampleRateSheet(*model, nullptr); }, "rateMenu", nullptr},
      {[&] { return new TimePitchSheet(*model, nullptr); }, "tempoSlider", "100.0"},
  };
  for (const Case& c : cases) {
    const QPointer<SheetContainer> sheet = present<SheetContainer>(c.make());
    SCOPED_TRACE(sheet->metaObject()->className());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    QWidget* named = sheet->findChild<QWidget*>(QString::fromUtf8(c.field));
    ASSERT_TRUE(named);
    EXPECT_TRUE(focus == named || named->isAncestorOf(focus)) << focus->metaObject()->className();
    if (c.text) {
      auto* spin = qobject_cast<QAbstractSpinBox*>(focus);
      auto* edit = spin ? spin->findChild<QLineEdit*>() : qobject_cast<QLineEdit*>(focus);
      ASSERT_TRUE(edit);
      EXPECT_EQ(edit->text(), QString::fromUtf8(c.text));
      EXPECT_EQ(edit->selectedText(), edit->text());
    } else {
      EXPECT_TRUE(qobject_cast<QComboBox*>(focus));
    }
    sheet->reject();
    ASSERT_TRUE(closed(sheet));
  }
}

// What is typed at once is what the action applies.
TEST_F(SheetContainerTest, TypingAtOnceThenReturnAppliesTheTypedValue) {
  auto model = makeModel(numbered(1000, 1, 1000));
  QPointer<SheetContainer> sheet = present<SheetContainer>(new InsertSilenceSheet(*model, nullptr));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1.5"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  EXPECT_EQ(model->content().frameCount(), 2500);

  sheet = present<SheetContainer>(new GainSheet(*model, nullptr));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Gain +3.0 dB"));
}

// Space never presses the action button, even when Tab has put the focus on it; Return does.
TEST_F(SheetContainerTest, SpaceNeverPressesTheActionButton) {
  auto model = makeModel(numbered(1000));
  const QPointer<GainSheet> sheet = present(new GainSheet(*model, nullptr));
  sheet->actionButton()->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(sheet->actionButton()->hasFocus());
  QTest::keyClick(sheet->actionButton(), Qt::Key_Space);
  QCoreApplication::processEvents();
  EXPECT_TRUE(sheet && sheet->isVisible());
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(undo.changeCount(), 0);
  QTest::keyClick(sheet->actionButton(), Qt::Key_Return);
  ASSERT_TRUE(closed(sheet));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.changeCount(), 1);
}

// The window's commands present the sheets: one at a time, and none while a job runs.
TEST_F(SheetContainerTest, TheWindowsCommandsShowOneSheetAndNoneWhileAJobRuns) {
  QTemporaryDir folder;
  const QString path = DocumentTestSupport::writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocumentController controller;
  AudioDocument* document = DocumentTestSupport::openDocument(controller, path);
  ASSERT_TRUE(document && DocumentTestSupport::waitUntilIdle(*document));
  document->model().setSelection(quar::FrameRange(0, 2400));
  auto& window = static_cast<EditorWindowController&>(*document->windowControllers().front());

  const std::vector<std::pair<QString, const char*>> commands{
      {QStringLiteral("insertSilence"), "InsertSilenceSheet"}, {QStringLiteral("showGain"), "GainSheet"},
      {QStringLiteral("showNormalize"), "NormalizeSheet"},     {QStringLiteral("showFade"), "FadeSheet"},
      {QStringLiteral("changeSampleRate"), "SampleRateSheet"}, {QStringLiteral("showTimePitch"), "TimePitchSheet"},
  };
  for (const auto& [command, type] : commands) {
    window.perform({command});
    const QPointer<QDialog> sheet = window.attachedSheet();
    ASSERT_TRUE(sheet) << type;
    EXPECT_STREQ(sheet->metaObject()->className(), type);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    // A second command while the sheet is up only beeps.
    const int beeps = AppTestSupport::beepCount();
    window.perform({QStringLiteral("showGain")});
    EXPECT_EQ(AppTestSupport::beepCount(), beeps + 1) << type;
    EXPECT_EQ(window.window()->findChildren<SheetContainer*>().size(), 1) << type;
    sheet->reject();
    ASSERT_TRUE(closed(sheet)) << type;
  }

  // Apply starts the job as the sheet closes; another sheet is refused until it ends.
  window.perform({QStringLiteral("showGain")});
  const QPointer<GainSheet> gain = qobject_cast<GainSheet*>(window.attachedSheet());
  ASSERT_TRUE(gain);
  gain->actionButton()->click();
  ASSERT_TRUE(document->model().jobs().busy());
  const int beeps = AppTestSupport::beepCount();
  window.perform({QStringLiteral("showNormalize")});
  EXPECT_EQ(AppTestSupport::beepCount(), beeps + 1);
  ASSERT_TRUE(closed(gain));
  ASSERT_TRUE(DocumentTestSupport::waitUntilIdle(*document));
  EXPECT_EQ(window.attachedSheet(), nullptr);
  document->close();
}
