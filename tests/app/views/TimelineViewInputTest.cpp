#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

#include "DocumentTestSupport.h"
#include "TimelineViewFixture.h"
#include "document/AudioDocumentController.h"
#include "platform/Document.h"
#include "recording/Recorder.h"

using quar::FrameRange;

class TimelineViewInputTest : public TimelineViewFixture {
protected:
  void wheel(QPointF p, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(p, view.mapToGlobal(p), pixelDelta, angleDelta, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(&view, &event);
  }
  void gesture(Qt::NativeGestureType type, QPointF p, double value) {
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, p, p, view.mapToGlobal(p), value,
                              QPointF());
    QCoreApplication::sendEvent(&view, &event);
  }
};

TEST_F(TimelineViewInputTest, ArrowsMoveTheCursorAFiftiethOfTheViewOrOnePointWithAlt) {
  EditorModel wide(ViewTestSupport::constant(2000000, 0, 1), std::nullopt);
  TimelineView wideView(&wide);
  wideView.resize(800, 300);
  wideView.show();
  wide.viewport().setFramesPerPoint(1000);
  wide.setCursor(100000);
  QTest::keyClick(&wideView, Qt::Key_Right);
  EXPECT_EQ(wide.cursor(), 116000);
  QTest::keyClick(&wideView, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(wide.cursor(), 117000);
  QTest::keyClick(&wideView, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(wide.cursor(), 116000);
}

TEST_F(TimelineViewInputTest, ArrowsGoOnFromTheSelectionsEdgeAndShiftMovesOneEdge) {
  // A step is 600 * 100 / 50 = 1200 frames, or 100 with Alt.
  model.setSelection(FrameRange(10000, 20000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Right);
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 21200);
  model.setSelection(FrameRange(10000, 20000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Left);
  EXPECT_EQ(model.cursor(), 8800);
  model.setCursor(500);
  QTest::keyClick(&view, Qt::Key_Left);
  EXPECT_EQ(model.cursor(), 0);

  // Repeated steps keep moving the same edge, through the anchor and out the other side.
  model.setCursor(5000);
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::optional<FrameRange> selection;
  };
  const Step steps[] = {
      {Qt::Key_Left, Qt::ShiftModifier, FrameRange(3800, 5000)},
      {Qt::Key_Left, Qt::ShiftModifier, FrameRange(2600, 5000)},
      {Qt::Key_Right, Qt::ShiftModifier, FrameRange(3800, 5000)},
      {Qt::Key_Right, Qt::ShiftModifier, std::nullopt},
      {Qt::Key_Right, Qt::ShiftModifier, FrameRange(5000, 6200)},
      {Qt::Key_Right, Qt::ShiftModifier | Qt::AltModifier, FrameRange(5000, 6300)},
      {Qt::Key_Left, Qt::ShiftModifier, FrameRange(5000, 5100)},
  };
  for (const Step& step : steps) {
    QTest::keyClick(&view, step.key, step.modifiers);
    EXPECT_EQ(model.selection(), step.selection) << step.key;
  }
  EXPECT_EQ(model.cursor(), 5100);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1}));

  // A selection made with the mouse has the cursor on its start, which Shift+Right moves.
  model.setSelection(FrameRange(10000, 20000), std::set<int>{1});
  QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(model.selection(), FrameRange(11200, 20000));
  EXPECT_EQ(model.activeChannels(), (std::set<int>{1}));
  // Extending far past the end keeps the view on the moving edge.
  model.setCursor(470000);
  model.setSelection(std::nullopt);
  QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(model.selection(), FrameRange(470000, 471200));
  EXPECT_GE(471200, model.viewport().scrollFrame());
  EXPECT_LE(471200, model.viewport().scrollFrame() + 60000);
}

TEST_F(TimelineViewInputTest, KeysForTheTransportTheEndsDeletingAndMarkers) {
  model.setSelection(FrameRange(1000, 5000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_End);
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 480000);
  QTest::keyClick(&view, Qt::Key_Return);
  EXPECT_EQ(model.cursor(), 0);
  model.setCursor(700);
  QTest::keyClick(&view, Qt::Key_Home);
  EXPECT_EQ(model.cursor(), 0);

  // Escape while playing only stops; the next one clears the selection.
  model.setSelection(FrameRange(1000, 5000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Space, Qt::ShiftModifier);
  ASSERT_TRUE(model.transport().isPlaying());
  EXPECT_EQ(model.transport().playhead(), 1000);
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_EQ(model.selection(), FrameRange(1000, 5000));
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_EQ(model.selection(), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Space);
  EXPECT_TRUE(model.transport().isPlaying());
  QTest::keyClick(&view, Qt::Key_Space);
  EXPECT_FALSE(model.transport().isPlaying());

  model.setSelection(FrameRange(0, 1000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Backspace);
  EXPECT_EQ(model.content().frameCount(), 479000);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Delete"));
  model.setSelection(FrameRange(0, 1000), std::nullopt);
  QTest::keyClick(&view, Qt::Key_Delete);
  EXPECT_EQ(model.content().frameCount(), 478000);

  model.setCursor(3000);
  QTest::keyClick(&view, Qt::Key_M, Qt::ShiftModifier);
  QTest::keyClick(&view, Qt::Key_M, Qt::ControlModifier);
  QTest::keyClick(&view, Qt::Key_M, Qt::MetaModifier);
  ASSERT_EQ(model.markers().size(), 1u);
  EXPECT_EQ(model.markers()[0].frame, 3000);
}

TEST_F(TimelineViewInputTest, TheTimelinesKeysComeBeforeMenuShortcutsAndOthersDoNot) {
  QAction plainM(QStringLiteral("M"));
  plainM.setShortcut(QKeySequence(Qt::Key_M));
  plainM.setShortcutContext(Qt::ApplicationShortcut);
  QAction controlM(QStringLiteral("Ctrl+M"));
  controlM.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  controlM.setShortcutContext(Qt::ApplicationShortcut);
  view.addAction(&plainM);
  view.addAction(&controlM);
  QSignalSpy plain(&plainM, &QAction::triggered);
  QSignalSpy control(&controlM, &QAction::triggered);

  QTest::keyClick(&view, Qt::Key_M);
  EXPECT_EQ(model.markers().size(), 1u);
  EXPECT_EQ(plain.count(), 0);
  QTest::keyClick(&view, Qt::Key_M, Qt::ControlModifier);
  EXPECT_EQ(model.markers().size(), 1u);
  EXPECT_EQ(control.count(), 1);
}

TEST_F(TimelineViewInputTest, KeysAreSwallowedWhileAJobRuns) {
  model.jobs().setBusy(BusyState{quar::Uuid::random(), QStringLiteral("Gain"), nullptr, 0});
  for (const Qt::Key key : {Qt::Key_M, Qt::Key_A}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &press);
    EXPECT_TRUE(press.isAccepted()) << key;
  }
  QTest::keyClick(&view, Qt::Key_End);
  EXPECT_TRUE(model.markers().empty());
  EXPECT_EQ(model.cursor(), 0);

  model.jobs().setBusy(std::nullopt);
  QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &other);
  EXPECT_FALSE(other.isAccepted());
}

// A take replaces the document with its state from before the take plus the take when it ends,
// so an edit made meanwhile would be lost: the timeline refuses them, and transport keys work.
TEST_F(TimelineViewInputTest, ATakeInProgressRefusesEditsButNotTheTransport) {
  model.setMarkers({{quar::Uuid::random(), 20000, QStringLiteral("Verse")}});  // at x 200
  model.setSelection(quar::FrameRange(1000, 2000), std::nullopt);
  model.recorder().toggle();
  model.recorder().toggle();
  ASSERT_TRUE(model.recorder().isRecording());
  const auto markers = model.markers();
  QTest::keyClick(&view, Qt::Key_M);
  QTest::keyClick(&view, Qt::Key_Delete);
  click({300, 100});
  EXPECT_EQ(model.markers(), markers);
  EXPECT_EQ(model.selection(), quar::FrameRange(1000, 2000));
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
  std::unique_ptr<QMenu> menu(view.contextMenu({205, 100}, {{TimelineView::ContextEntry::Kind::markerItems, {}, {}}}));
  for (const QAction* item : menu->actions()) {
    if (item->text() == QStringLiteral("Add Marker Here") || item->text().startsWith(QStringLiteral("Remove"))) {
      EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    }
  }

  QTest::keyClick(&view, Qt::Key_Space);  // stops the take
  EXPECT_FALSE(model.recorder().isRecording());
}

TEST_F(TimelineViewInputTest, TheWheelScrollsAndZoomsAboutThePointer) {
  model.viewport().setScrollFrame(10000);
  wheel({300, 100}, {}, {0, 120});  // one notch up: 12 points toward the start
  EXPECT_EQ(model.viewport().scrollFrame(), 8800);
  wheel({300, 100}, {-5, 5}, {-60, 60});  // a diagonal swipe scrolls by x
  EXPECT_EQ(model.viewport().scrollFrame(), 9300);

  // Zooming keeps the frame under the pointer (39300 at x 300) in place.
  struct Case {
    QPoint angleDelta;
    Qt::KeyboardModifiers modifiers;
  };
  for (const Case& c : {Case{{0, 120}, Qt::ControlModifier}, Case{{0, 120}, Qt::AltModifier},
                        Case{{120, 0}, Qt::AltModifier}}) {  // X11 moves an Alt wheel into x
    model.viewport().setFramesPerPoint(100);
    model.viewport().setScrollFrame(9300);
    wheel({300, 100}, {}, c.angleDelta, c.modifiers);
    EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 100 * std::exp(-0.08)) << c.modifiers;
    EXPECT_NEAR(model.viewport().scrollFrame() + 300 * model.viewport().framesPerPoint(), 39300, 1e-6) << c.modifiers;
  }
}

TEST_F(TimelineViewInputTest, PinchZoomsAboutThePointerAndSmartZoomFits) {
  model.viewport().setScrollFrame(10000);
  gesture(Qt::ZoomNativeGesture, {200, 100}, 0.25);  // spreading zooms in
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 80);
  EXPECT_NEAR(model.viewport().scrollFrame() + 200 * 80, 30000, 1e-6);
  gesture(Qt::ZoomNativeGesture, {200, 100}, -1.5);  // closing far: out, never inverted
  EXPECT_GT(model.viewport().framesPerPoint(), 80);

  model.setSelection(FrameRange(100000, 160000), std::nullopt);
  gesture(Qt::SmartZoomNativeGesture, {200, 100}, 0);
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 60000.0 / 600 * 1.05);
  model.setSelection(std::nullopt);
  gesture(Qt::SmartZoomNativeGesture, {200, 100}, 0);
  EXPECT_EQ(model.viewport().scrollFrame(), 0);
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 800);
}

TEST_F(TimelineViewInputTest, TheContextMenuOffersTheWindowsCommandsAndTheMarkerItems) {
  model.setMarkers({{quar::Uuid::random(), 20000, QStringLiteral("Verse & Chorus")}});  // at x 200
  QAction cut(QStringLiteral("Cut"));
  QAction copy(QStringLiteral("Copy"));
  copy.setEnabled(false);
  cut.setShortcut(QKeySequence(QKeySequence::Cut));
  // The window's entries, with its actions for Cut and Copy when `withActions`.
  using Entry = TimelineView::ContextEntry;
  const auto entries = [&](bool withActions) {
    const auto command = [withActions](const char* title, QAction* action = nullptr) {
      return Entry{Entry::Kind::command, QString::fromUtf8(title), [action = withActions ? action : nullptr] { return action; }};
    };
    const Entry separator{Entry::Kind::separator, {}, {}};
    return TimelineView::ContextEntries{
        command("Cut", &cut), command("Copy", &copy), command("Paste"), command("Paste Mix"), command("Delete"), separator,
        command("Trim to Selection"), command("Silence"), command("Fade In"), command("Fade Out"), separator,
        {Entry::Kind::markerItems, {}, {}}, separator, command("Zoom to Selection"), command("Zoom to Fit"),
    };
  };

  std::unique_ptr<QMenu> menu(view.contextMenu({205, 100}, entries(true)));
  EXPECT_FALSE(menu->isVisible());
  QStringList titles;
  for (const QAction* item : menu->actions()) {
    titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_TRUE(item->shortcut().isEmpty());
  }
  EXPECT_EQ(titles, (QStringList{"Cut", "Copy", "Paste", "Paste Mix", "Delete", "-", "Trim to Selection", "Silence",
                                 "Fade In", "Fade Out", "-", "Add Marker Here",
                                 QStringLiteral("Remove \u201CVerse && Chorus\u201D"), "-", "Zoom to Selection",
                                 "Zoom to Fit"}));

  // The window's actions decide what is enabled and do the work.
  const QList<QAction*> items = menu->actions();
  EXPECT_TRUE(items[0]->isEnabled());
  EXPECT_FALSE(items[1]->isEnabled());
  EXPECT_FALSE(items[2]->isEnabled());  // no such action in this window
  copy.setEnabled(true);
  EXPECT_TRUE(items[1]->isEnabled());
  QSignalSpy cutTriggered(&cut, &QAction::triggered);
  items[0]->trigger();
  EXPECT_EQ(cutTriggered.count(), 1);

  // The view's own items: a marker at the click, not snapped; the nearby marker removed.
  items[11]->trigger();
  ASSERT_EQ(model.markers().size(), 2u);
  EXPECT_EQ(model.markers()[1].frame, 20500);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Add Marker"));
  items[12]->trigger();
  ASSERT_EQ(model.markers().size(), 1u);
  EXPECT_EQ(model.markers()[0].frame, 20500);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Remove Marker"));

  // Eight points from the marker there is nothing to remove; without the window's actions
  // nothing is enabled.
  std::unique_ptr<QMenu> far(view.contextMenu({213, 100}, entries(false)));
  EXPECT_EQ(far->actions().size(), 15);
  EXPECT_TRUE(far->actions()[12]->isSeparator());
  EXPECT_FALSE(far->actions()[0]->isEnabled());
  EXPECT_TRUE(far->actions()[11]->isEnabled());
}

TEST_F(TimelineViewInputTest, DroppedFilesOpenAsDocumentsAndOtherDragsAreRefused) {
  AudioDocumentController controller;
  ASSERT_EQ(DocumentController::shared(), &controller);
  QTemporaryDir folder;
  QList<QUrl> urls;
  for (const char* name : {"one.wav", "two.wav", "three.wav"})
    urls << QUrl::fromLocalFile(DocumentTestSupport::writeAudio(folder, QString::fromUtf8(name), 4800));
  // A file that does not read is reported; the others open all the same.
  QFile broken(folder.filePath(QStringLiteral("broken.wav")));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("not audio");
  broken.close();
  urls.insert(1, QUrl::fromLocalFile(broken.fileName()));

  QMimeData files;
  files.setUrls(urls);
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller.documents().size() == 3; }, 10000));
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(controller.documents()[i]->fileUrl(), urls[i == 0 ? 0 : static_cast<qsizetype>(i) + 1]);
  EXPECT_EQ(model.content().frameCount(), 480000);  // nothing went into this document
  const auto alerts = DocumentTestSupport::visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert"));
  EXPECT_EQ(alerts.size(), 1u);
  for (QMessageBox* alert : alerts) delete alert;

  QMimeData text;
  text.setText(QStringLiteral("one.wav"));
  QMimeData web;
  web.setUrls({QUrl(QStringLiteral("https://example.com/one.wav"))});
  for (QMimeData* refused : {&text, &web}) {
    QDragEnterEvent refusedEnter(QPoint(100, 100), Qt::CopyAction, refused, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &refusedEnter);
    EXPECT_FALSE(refusedEnter.isAccepted());
    QDropEvent refusedDrop(QPointF(100, 100), Qt::CopyAction, refused, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &refusedDrop);
    EXPECT_FALSE(refusedDrop.isAccepted());
  }
  QTest::qWait(0);
  EXPECT_EQ(controller.documents().size(), 3u);
}
