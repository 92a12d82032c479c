#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/AudioDocumentController.h"
#include "effects/EffectSlotCard.h"
#include "editor/EditorModel.h"
#include "editor/InspectorTab.h"
#include "effects/EffectsRack.h"
#include "widgets/SegmentedControl.h"
#include "window/EditorWindowController.h"
#include "platform/NullAudioBackend.h"
#include "recording/Recorder.h"
#include "recording/RecordingBar.h"
#include "support/Preferences.h"
#include "views/EditorRootView.h"
#include "views/TimelineView.h"

using namespace DocumentTestSupport;

class EditorWindowControllerTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget)) box->deleteLater();
  }

  // Opens a loaded two-second stereo file.
  AudioDocument* open() {
    const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 96000);
    AudioDocument* opened = openDocument(controller, path);
    EXPECT_TRUE(opened && waitUntilIdle(*opened));
    return opened;
  }
  static EditorWindowController& windowOf(const AudioDocument& document) {
    return static_cast<EditorWindowController&>(*document.windowControllers().front());
  }
  // The document's window, brought forward and active.
  static QMainWindow* activate(const AudioDocument& document) {
    QMainWindow* main = windowOf(document).window();
    main->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(main));
    return main;
  }
  // Space, typed where the focus is (into `main` when no widget has it).
  static void typeSpace(QWidget* main) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : main, Qt::Key_Space);
  }

  QTemporaryDir folder;
  AudioDocumentController controller;
};

TEST_F(EditorWindowControllerTest, BuildsTheWindowAndItsToolbar) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorWindowController& window = windowOf(*document);
  QMainWindow* main = window.window();
  EXPECT_EQ(main->size(), QSize(1240, 760));
  EXPECT_EQ(main->minimumSize(), QSize(820, 480));
  EXPECT_EQ(main->windowTitle(), QStringLiteral("tone.wav[*]"));
  EXPECT_EQ(main->centralWidget(), window.rootView());

  QToolBar* toolbar = main->findChild<QToolBar*>(QStringLiteral("EditorToolbar"));
  ASSERT_EQ(toolbar, window.toolbar());
  EXPECT_FALSE(toolbar->isMovable());
  EXPECT_FALSE(toolbar->isFloatable());
  EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
  EXPECT_EQ(toolbar->contextMenuPolicy(), Qt::PreventContextMenu);
  QStringList items;
  QStringList widgets;
  for (QAction* action : toolbar->actions()) {
    items << action->objectName();
    widgets << toolbar->widgetForAction(action)->objectName();
  }
  EXPECT_EQ(items, (QStringList{"transport", "flexibleSpace", "display", "flexibleSpace", "grid", "zoom", "inspector"}));
  EXPECT_EQ(widgets, (QStringList{"transportControls", "", "transportDisplay", "", "gridControl", "zoomControls",
                                  "inspectorButton"}));

  auto* inspector = toolbar->findChild<QToolButton*>(QStringLiteral("inspectorButton"));
  ASSERT_TRUE(inspector);
  EXPECT_EQ(inspector->toolTip(), QStringLiteral("Show or hide the inspector (Ctrl+Alt+I)"));
  EXPECT_EQ(inspector->accessibleName(), QStringLiteral("Inspector"));
  QWidget* panel = window.rootView()->findChild<QWidget*>(QStringLiteral("inspectorPanel"));
  ASSERT_TRUE(panel);
  const bool shown = document->model().viewSettings().showInspector();
  EXPECT_EQ(panel->isVisible(), shown);
  inspector->click();
  EXPECT_EQ(document->model().viewSettings().showInspector(), !shown);
  EXPECT_EQ(Preferences::boolValue(Preferences::Keys::showInspector), !shown);
  EXPECT_EQ(panel->isVisible(), !shown);
}

TEST_F(EditorWindowControllerTest, RestoresTheRememberedFrameAndCentresOnlyNarrowOnes) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  for (const int width : {880, 900}) {
    const QRect saved(10, 20, width, 500);
    QSettings().setValue(QStringLiteral("EditorWindow"), saved);
    AudioDocument* document = open();
    ASSERT_TRUE(document);
    const QRect frame = windowOf(*document).window()->geometry();
    EXPECT_EQ(frame.size(), saved.size()) << width;
    // Centred as a frame: the window's own area may sit a border's width off.
    if (width < 900)
      EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 8) << width;
    else
      EXPECT_EQ(frame.topLeft(), saved.topLeft()) << width;

    // Closing remembers the frame for the next window.
    windowOf(*document).window()->setGeometry(QRect(30, 40, 1000, 600));
    document->close();
    EXPECT_EQ(QSettings().value(QStringLiteral("EditorWindow")).toRect(), QRect(30, 40, 1000, 600)) << width;
  }
}

// Keys that no widget takes reach the window: from the toolbar, say, whose buttons take no focus.
TEST_F(EditorWindowControllerTest, SpacePlaysAndPausesShiftSpacePlaysTheSelection) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  QWidget* toolbar = window.toolbar();

  QTest::keyClick(toolbar, Qt::Key_Space);
  EXPECT_TRUE(model.transport().isPlaying());
  QTest::keyClick(toolbar, Qt::Key_Space);
  EXPECT_FALSE(model.transport().isPlaying());
  // Alt+Space is still a space.
  QTest::keyClick(toolbar, Qt::Key_Space, Qt::AltModifier);
  EXPECT_TRUE(model.transport().isPlaying());
  QTest::keyClick(toolbar, Qt::Key_Space, Qt::AltModifier);
  EXPECT_FALSE(model.transport().isPlaying());

  model.setSelection(quar::FrameRange(4800, 9600), std::nullopt);
  QTest::keyClick(toolbar, Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_TRUE(model.transport().isPlaying());
  EXPECT_EQ(model.transport().player().program().range, quar::FrameRange(4800, 9600));
  model.stop(false);

  // Other keys go on, and a text field keeps its spaces.
  QTest::keyClick(toolbar, Qt::Key_A);
  EXPECT_FALSE(model.transport().isPlaying());
  auto* start = window.rootView()->findChild<QLineEdit*>(QStringLiteral("startField"));
  ASSERT_TRUE(start);
  start->setFocus();
  start->clear();
  QTest::keyClick(start, Qt::Key_Space);
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_EQ(start->text(), QStringLiteral(" "));
}

// No control of the recording bar keeps the focus: after a click on a picker, Space plays and
// pauses, and during the take it stops the take (the focus never passes to the monitoring
// toggle when the pickers turn off).
TEST_F(EditorWindowControllerTest, SpaceReachesTheWindowFromTheRecordingBar) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  QMainWindow* main = activate(*document);
  Recorder& recorder = model.recorder();
  recorder.toggle();  // arms
  RecordingBar* bar = window.rootView()->recordingBar();
  ASSERT_TRUE(bar);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }));
  const auto space = [main] { typeSpace(main); };
  for (const char* name : {"devicePicker", "inputPicker", "destinationPicker"}) {
    SCOPED_TRACE(name);
    auto* picker = bar->findChild<QComboBox*>(QString::fromLatin1(name));
    ASSERT_TRUE(picker);
    QTest::mouseClick(picker, Qt::LeftButton);
    picker->hidePopup();
    EXPECT_FALSE(picker->hasFocus());
    space();
    EXPECT_TRUE(model.transport().isPlaying());
    space();
    EXPECT_FALSE(model.transport().isPlaying());
  }

  QTest::mouseClick(bar->findChild<QAbstractButton*>(QStringLiteral("recordButton")), Qt::LeftButton);
  ASSERT_TRUE(recorder.isRecording());
  space();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_FALSE(recorder.monitoring());
  EXPECT_TRUE(waitUntilIdle(*document));
  recorder.disarm();
}

// A click leaves no button, check box, segmented control or slider of the window holding Space:
// after each, Space plays and pauses (and changes nothing else). A control that Tab reached and
// that then goes away hands the focus to the timeline rather than to the next control.
TEST_F(EditorWindowControllerTest, SpacePlaysAfterAClickOnAnyControlOfTheWindow) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  QMainWindow* main = activate(*document);
  window.rootView()->timeline()->setFocus();
  const auto space = [main] { typeSpace(main); };
  const auto click = [&](QWidget* control) {
    ASSERT_TRUE(control);
    SCOPED_TRACE(control->objectName().toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->isVisible(); }));
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
    EXPECT_FALSE(control->hasFocus());
    space();
    EXPECT_TRUE(model.transport().isPlaying());
    space();
    EXPECT_FALSE(model.transport().isPlaying());
  };

  window.addEffect(quar::caseIndex(quar::EffectKind::reverb));
  auto* card = window.rootView()->findChild<EffectSlotCard*>();
  ASSERT_TRUE(card);
  click(card->findChild<QCheckBox*>(QStringLiteral("slotEnabled")));
  EXPECT_FALSE(model.rack().slots().front().isEnabled);
  click(window.rootView()->findChild<QAbstractButton*>(QStringLiteral("previewToggle")));
  click(card->findChild<QSlider*>(QStringLiteral("slider")));

  auto* tabs = window.rootView()->findChild<SegmentedControl*>(QStringLiteral("inspectorTabs"));
  ASSERT_TRUE(tabs);
  click(tabs->segment(0));
  ASSERT_EQ(model.viewSettings().inspectorTab(), InspectorTab::loudness);
  auto* mode = window.rootView()->findChild<SegmentedControl*>(QStringLiteral("adjustMode"));
  ASSERT_TRUE(mode);
  click(mode->segment(1));
  QAbstractButton* limit = window.rootView()->findChild<QAbstractButton*>(QStringLiteral("limitTruePeaks"));
  click(limit);

  click(mode->segment(0));
  const QPointer<QSlider> target = window.rootView()->findChild<QSlider*>(QStringLiteral("targetSlider"));
  ASSERT_TRUE(target);
  target->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(target->hasFocus());
  QTest::mouseClick(mode->segment(1), Qt::LeftButton);  // the target rows go
  ASSERT_TRUE(target && !target->isVisible());
  EXPECT_TRUE(window.rootView()->timeline()->hasFocus());
  space();
  EXPECT_TRUE(model.transport().isPlaying());
  model.stop(false);
}

TEST_F(EditorWindowControllerTest, PresentsOneSheetAtATimeAndNoneWhileAJobRuns) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorWindowController& window = windowOf(*document);
  int built = 0;
  QPointer<QDialog> sheet;
  const auto build = [&](QWidget* parent) {
    ++built;
    sheet = new QDialog(parent);
    return sheet.data();
  };

  window.presentSheet(build);
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(window.attachedSheet(), sheet.data());
  window.presentSheet(build);
  EXPECT_EQ(built, 1);
  EXPECT_EQ(AppTestSupport::beepCount(), 1);

  sheet->reject();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet; }));
  EXPECT_EQ(window.attachedSheet(), nullptr);
  const quar::Uuid job =
      document->model().jobs().beginExternalBusy(QStringLiteral("Reverse"), std::make_shared<ProgressToken>());
  window.presentSheet(build);
  EXPECT_EQ(built, 1);
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
  document->model().jobs().endExternalBusy(job);
  window.presentSheet(build);
  EXPECT_EQ(built, 2);
}

// The timeline's context menu offers commands of the menu table under their titles there, around
// the view's marker items; an entry sends the window's command.
TEST_F(EditorWindowControllerTest, TheTimelinesContextMenuOffersTheTablesCommands) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorWindowController& window = windowOf(*document);
  EditorModel& model = document->model();
  model.setSelection(quar::FrameRange(24000, 48000), std::nullopt);
  TimelineView* timeline = window.rootView()->timeline();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), timeline->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(timeline, &event);
  auto* menu = timeline->findChild<QMenu*>();
  ASSERT_TRUE(menu);
  QStringList titles;
  QAction* trim = nullptr;
  for (QAction* item : menu->actions()) {
    titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    if (item->text() == QLatin1String("Trim to Selection")) trim = item;
  }
  EXPECT_EQ(titles, (QStringList{"Cut", "Copy", "Paste", "Paste Mix", "Delete", "-", "Trim to Selection", "Silence",
                                 "Fade In", "Fade Out", "-", "Add Marker Here", "-", "Zoom to Selection", "Zoom to Fit"}));
  ASSERT_TRUE(trim && trim->isEnabled());
  trim->trigger();
  EXPECT_EQ(model.content().frameCount(), 24000);
  menu->close();
}

TEST_F(EditorWindowControllerTest, ClosingStopsPlayback) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  const QPointer<AudioDocument> guard(document);
  document->model().play(false);
  ASSERT_TRUE(document->model().transport().isPlaying());
  windowOf(*document).window()->close();
  ASSERT_TRUE(guard);
  EXPECT_TRUE(guard->isClosed());
  EXPECT_FALSE(guard->model().transport().isPlaying());
}

// A take being recorded reaches the document (through a job, as a take into audio does) before
// the document asks about unsaved changes: Cancel keeps it in the open document, Save would save
// it, and its safety file goes only once it is in the document.
TEST_F(EditorWindowControllerTest, ClosingWhileRecordingCommitsTheTakeBeforeAskingToSave) {
  AudioDocument* document = open();
  ASSERT_TRUE(document);
  EditorModel& model = document->model();
  EditorWindowController& window = windowOf(*document);
  Recorder& recorder = model.recorder();
  const int64_t before = model.content().frameCount();
  recorder.toggle();
  ASSERT_TRUE(recorder.isArmed());
  ASSERT_TRUE(window.rootView()->recordingBar());
  recorder.toggle();
  ASSERT_TRUE(recorder.isRecording());
  const QString safety = recorder.safetyPath().value_or(QString());
  dynamic_cast<NullAudioBackend&>(AudioBackend::shared()).pump(4800);
  recorder.engine().drain();

  window.window()->close();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_TRUE(model.jobs().busy());  // the take is on its way into the document
  EXPECT_TRUE(window.window()->findChildren<QMessageBox*>().isEmpty());
  window.window()->close();  // a second request while it goes in changes nothing
  QMessageBox* alert = waitForDialog<QMessageBox>(window.window(), QStringLiteral("closeAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(window.window()->findChildren<QMessageBox*>().size(), 1);
  EXPECT_EQ(model.content().frameCount(), before + 4800);
  EXPECT_FALSE(QFileInfo::exists(safety));
  clickButton(alert, QStringLiteral("Cancel"));
  EXPECT_FALSE(document->isClosed());
  EXPECT_TRUE(window.window()->isVisible());
  EXPECT_EQ(model.content().frameCount(), before + 4800);
  recorder.disarm();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.rootView()->recordingBar(); }));
}

// A maximised or full-screen window remembers the frame it goes back to, for the next window.
TEST_F(EditorWindowControllerTest, RemembersTheNormalFrameOfAMaximisedOrFullScreenWindow) {
  const QRect normal(30, 40, 1000, 600);
  for (const Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
    AudioDocument* document = open();
    ASSERT_TRUE(document);
    QMainWindow* main = windowOf(*document).window();
    main->setGeometry(normal);
    main->setWindowState(state);
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->geometry() != normal; })) << state;
    EXPECT_EQ(QSettings().value(QStringLiteral("EditorWindow")).toRect(), normal) << state;
    document->close();
    EXPECT_EQ(QSettings().value(QStringLiteral("EditorWindow")).toRect(), normal) << state;
  }
}

TEST_F(EditorWindowControllerTest, ANewWindowCascadesFromTheOnesAtItsPlace) {
  struct Case {
    const char* name;
    QPoint wanted;
    std::vector<QPoint> taken;
    QPoint expected;
  };
  const QRect area(0, 20, 1600, 980);
  const QSize size(1240, 760);
  const std::vector<Case> cases{
      {"free", {100, 100}, {{0, 20}}, {100, 100}},
      {"taken", {100, 100}, {{100, 100}}, {125, 125}},
      {"taken by a chain", {100, 100}, {{125, 125}, {100, 100}, {150, 150}}, {175, 175}},
      {"a gap in the chain", {100, 100}, {{100, 100}, {150, 150}}, {125, 125}},
      {"last place inside", {335, 215}, {{335, 215}}, {360, 240}},
      {"off the right and bottom: back to the top left", {340, 200}, {{340, 200}}, {0, 20}},
      {"back at the top left, taken too", {340, 200}, {{340, 200}, {0, 20}}, {25, 45}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(EditorWindowController::cascadedPosition(c.wanted, size, c.taken, 25, area), c.expected) << c.name;
  // A window larger than the area cascades until it passes the area's centre.
  const QSize large(2000, 1200);
  EXPECT_EQ(EditorWindowController::cascadedPosition({750, 450}, large, {{750, 450}}, 25, area), QPoint(775, 475));
  EXPECT_EQ(EditorWindowController::cascadedPosition({775, 475}, large, {{775, 475}}, 25, area), QPoint(0, 20));

  // Three windows of one remembered frame: each opens a title bar below and right of the last.
  QSettings().setValue(QStringLiteral("EditorWindow"), QRect(10, 20, 1000, 500));
  std::vector<QRect> frames;
  for (int i = 0; i < 3; ++i) {
    controller.newDocument();
    frames.push_back(controller.documents().back()->windowForSheet()->geometry());
  }
  EXPECT_EQ(frames[0], QRect(10, 20, 1000, 500));
  const QPoint step = frames[1].topLeft() - frames[0].topLeft();
  EXPECT_GT(step.x(), 0);
  EXPECT_EQ(step.x(), step.y());
  EXPECT_EQ(frames[2].topLeft() - frames[1].topLeft(), step);
  for (const QRect& frame : frames) EXPECT_EQ(frame.size(), QSize(1000, 500));
}
