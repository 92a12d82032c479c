#include <QFocusEvent>

#include "TimelineViewFixture.h"

using quar::FrameRange;

namespace {

std::vector<int64_t> framesOf(const std::vector<Marker>& markers) {
  std::vector<int64_t> frames;
  for (const Marker& m : markers) frames.push_back(m.frame);
  return frames;
}

} // namespace

class TimelineViewPointerTest : public TimelineViewFixture {};

TEST_F(TimelineViewPointerTest, AClickPlacesTheCursorAndAltPicksTheChannelUnderIt) {
  model.setSelection(FrameRange(1000, 5000), std::set<int>{0});
  click({200, 100});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1}));
  EXPECT_EQ(model.cursor(), 20000);

  // Lane 1 runs from y 163.5 down; it owns the 1-point gap above it.
  click({300, 200}, Qt::AltModifier);
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{1}));
  EXPECT_EQ(model.cursor(), 30000);
  click({300, 100}, Qt::AltModifier);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0}));
  click({300, 163}, Qt::AltModifier);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{1}));
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(TimelineViewPointerTest, AltClickOutsideEveryLaneTakesAllChannels) {
  // In an empty document the loudness lane takes presses like the channel lanes.
  EditorModel empty(ViewTestSupport::constant(0, 0, 2), std::nullopt);
  empty.viewSettings().setShowLoudnessLane(true);
  empty.setActiveChannels({0});
  TimelineView emptyView(&empty);
  emptyView.resize(600, 400);
  emptyView.show();
  QMouseEvent event(QEvent::MouseButtonPress, QPointF(100, 350), emptyView.mapToGlobal(QPointF(100, 350)),
                    Qt::LeftButton, Qt::LeftButton, Qt::AltModifier);
  QCoreApplication::sendEvent(&emptyView, &event);
  EXPECT_EQ(empty.activeChannels(), (std::set<int>{0, 1}));
}

TEST_F(TimelineViewPointerTest, AClickWhilePlayingSeeksAndSnapsToZeroCrossings) {
  EditorModel tone(ViewTestSupport::sine(480000, 1000, 0.5f), std::nullopt);
  tone.viewSettings().setShowLoudnessLane(false);
  tone.setSnapToZeroCrossings(true);
  TimelineView toneView(&tone);
  toneView.resize(600, 300);
  toneView.show();
  tone.viewport().setFramesPerPoint(10);
  tone.viewport().setScrollFrame(0);
  const int64_t snapped = tone.snapped(1030);
  ASSERT_NE(snapped, 1030);
  tone.play(false);
  ASSERT_TRUE(tone.transport().isPlaying());
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, QPointF(103, 100), toneView.mapToGlobal(QPointF(103, 100)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&toneView, &event);
  }
  EXPECT_EQ(tone.cursor(), snapped);
  EXPECT_EQ(tone.transport().playhead(), snapped);
  tone.stop(false);
}

TEST_F(TimelineViewPointerTest, ShiftClicksExtendFromTheFartherEdgeOrTheCursor) {
  model.setCursor(7000);
  click({120, 100}, Qt::ShiftModifier);
  EXPECT_EQ(model.selection(), FrameRange(7000, 12000));

  model.setSelection(FrameRange(1000, 5000), std::set<int>{1});
  click({30, 100}, Qt::ShiftModifier);  // midway: anchored at the lower edge
  EXPECT_EQ(model.selection(), FrameRange(1000, 3000));
  EXPECT_EQ(model.activeChannels(), (std::set<int>{1}));
  click({5, 100}, Qt::ShiftModifier | Qt::AltModifier);  // nearer the lower edge; Alt does not pick
  EXPECT_EQ(model.selection(), FrameRange(500, 3000));
  EXPECT_EQ(model.activeChannels(), (std::set<int>{1}));
}

TEST_F(TimelineViewPointerTest, PressesNearAnEdgeDragThatEdgeAndKeepTheChannels) {
  model.setSelection(FrameRange(10000, 30000), std::set<int>{0});  // x [100, 300]
  press({304, 200});
  drag({400, 200});
  EXPECT_EQ(model.selection(), FrameRange(10000, 40000));
  drag({50, 200});  // past the anchor
  EXPECT_EQ(model.selection(), FrameRange(5000, 10000));
  release({50, 200});
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0}));

  model.setSelection(FrameRange(10000, 30000), std::nullopt);
  press({96, 200});
  drag({150, 200});
  release({150, 200});
  EXPECT_EQ(model.selection(), FrameRange(15000, 30000));

  // Six points away is a plain click: the selection goes.
  press({156, 200});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1}));
  release({156, 200});
}

TEST_F(TimelineViewPointerTest, DraggingBackOntoTheAnchorLeavesNoSelectionAndTheCursorThere) {
  press({100, 100});
  drag({250, 100});
  EXPECT_EQ(model.selection(), FrameRange(10000, 25000));
  EXPECT_EQ(model.cursor(), 10000);
  drag({100, 100});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 10000);
  drag({40, 100});
  EXPECT_EQ(model.selection(), FrameRange(4000, 10000));
  EXPECT_EQ(model.cursor(), 4000);
  drag({100, 100});
  release({100, 100});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 10000);
}

TEST_F(TimelineViewPointerTest, DoubleClicksSelectTheRegionBetweenMarkers) {
  // A list out of frame order still gives the regions by frame.
  model.setMarkers({{quar::Uuid::random(), 5000, QStringLiteral("B")}, {quar::Uuid::random(), 1000, QStringLiteral("A")}});
  struct Case {
    double x;
    FrameRange region;
  };
  for (const Case& c : {Case{30, {1000, 5000}}, Case{5, {0, 1000}}, Case{300, {5000, 480000}}, Case{10, {1000, 5000}}}) {
    model.setActiveChannels({1});
    doubleClick({c.x, 100});
    EXPECT_EQ(model.selection(), c.region) << c.x;
    EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1})) << c.x;
  }

  // Dragging on after a double-click changes nothing.
  click({30, 100});
  doublePress({30, 100});
  drag({200, 100});
  release({200, 100});
  EXPECT_EQ(model.selection(), FrameRange(1000, 5000));

  // A third press is a plain click.
  doublePress({30, 100});
  release({30, 100});
  press({30, 100});
  release({30, 100});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 3000);
}

TEST_F(TimelineViewPointerTest, AFlagDragIsOneUndoStepHoweverItEnds) {
  enum class End { release, focusOut, hide, nextPress };
  for (const End end : {End::release, End::focusOut, End::hide, End::nextPress}) {
    const Marker a{quar::Uuid::random(), 10000, QStringLiteral("A")};
    const Marker b{quar::Uuid::random(), 20000, QStringLiteral("B")};
    model.setMarkers({a, b});
    undo.removeAllActions();
    view.show();

    press({120, 10});  // on A's flag, 20 points right of the marker
    EXPECT_EQ(view.cursor().shape(), Qt::ClosedHandCursor);
    drag({220, 10});
    drag({300, 12});
    EXPECT_EQ(framesOf(model.markers()), (std::vector<int64_t>{30000, 20000}));  // live, not yet re-sorted
    EXPECT_FALSE(undo.canUndo());
    switch (end) {
    case End::release: release({300, 12}); break;
    case End::focusOut: {
      QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
      QCoreApplication::sendEvent(&view, &out);
      break;
    }
    case End::hide: view.hide(); break;
    case End::nextPress: press({500, 200}); release({500, 200}); break;
    }
    EXPECT_EQ(framesOf(model.markers()), (std::vector<int64_t>{20000, 30000})) << static_cast<int>(end);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Move Marker")) << static_cast<int>(end);
    // A later move finds no drag left over.
    drag({400, 200});
    EXPECT_EQ(framesOf(model.markers()), (std::vector<int64_t>{20000, 30000}));
    model.undo();
    EXPECT_EQ(model.markers(), (std::vector<Marker>{a, b})) << static_cast<int>(end);
    EXPECT_FALSE(undo.canUndo()) << static_cast<int>(end);
  }
}

TEST_F(TimelineViewPointerTest, FlagsSeekOnDoubleClickAndPressesElsewhereInTheRulerScrub) {
  model.setMarkers({{quar::Uuid::random(), 10000, QStringLiteral("A")}, {quar::Uuid::random(), 13000, QStringLiteral("B")}});
  doubleClick({140, 10});  // both flags: the later marker
  EXPECT_EQ(model.cursor(), 13000);
  EXPECT_FALSE(undo.canUndo());  // the first click's drag moved nothing

  // Scrubbing neither snaps nor keeps the selection.
  model.setSnapToZeroCrossings(true);
  model.setSelection(FrameRange(100, 200), std::nullopt);
  press({450.4, 20});
  EXPECT_EQ(model.selection(), std::nullopt);
  EXPECT_EQ(model.cursor(), 45040);
  drag({470.26, 300});
  EXPECT_EQ(model.cursor(), 47026);
  release({470.26, 300});
  EXPECT_EQ(model.markers().size(), 2u);
}

TEST_F(TimelineViewPointerTest, TheLoudnessLanesTopEdgeResizesItWithin70And600Points) {
  model.viewSettings().setShowLoudnessLane(true);
  model.viewSettings().setLoudnessLaneHeight(120);
  view.resize(600, 400);  // the lane's top edge at y 280
  struct Case {
    double pressY;
    double dragY;
    double height;
  };
  for (const Case& c : {Case{280, 230, 170}, Case{283, 233, 170}, Case{277, 227, 170}, Case{280, 380, 70},
                        Case{280, -500, 600}}) {
    model.viewSettings().setLoudnessLaneHeight(120);
    press({100, c.pressY});
    drag({100, c.dragY});
    release({100, c.dragY});
    EXPECT_EQ(model.viewSettings().loudnessLaneHeight(), c.height) << c.pressY << " " << c.dragY;
  }
  // A stored height beyond what the view allows starts from the height shown.
  model.viewSettings().setLoudnessLaneHeight(1000);  // shown as 294 in a 400-point view
  press({100, 106});
  drag({100, 116});
  release({100, 116});
  EXPECT_EQ(model.viewSettings().loudnessLaneHeight(), 284);
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(TimelineViewPointerTest, DraggingPastTheSideScrollsEveryTickAndKeepsExtending) {
  press({300, 100});
  drag({640, 100});
  EXPECT_TRUE(view.isAutoscrolling());
  EXPECT_EQ(model.selection(), FrameRange(30000, 64000));
  view.autoscrollTick();
  EXPECT_EQ(model.viewport().scrollFrame(), 2400);  // 40 points past: 24 points a tick
  EXPECT_EQ(model.selection(), FrameRange(30000, 62400));
  view.autoscrollTick();
  EXPECT_EQ(model.viewport().scrollFrame(), 4800);
  EXPECT_EQ(model.selection(), FrameRange(30000, 64800));

  drag({-10, 100});  // past the left side: back toward the start, 6 points a tick
  EXPECT_TRUE(view.isAutoscrolling());
  view.autoscrollTick();
  EXPECT_EQ(model.viewport().scrollFrame(), 4200);
  EXPECT_EQ(model.selection(), FrameRange(4200, 30000));

  drag({500, 100});
  EXPECT_FALSE(view.isAutoscrolling());
  drag({610, 100});
  EXPECT_TRUE(view.isAutoscrolling());
  release({610, 100});
  EXPECT_FALSE(view.isAutoscrolling());
}

TEST_F(TimelineViewPointerTest, PressesDoNothingWhileAJobRuns) {
  model.jobs().setBusy(BusyState{quar::Uuid::random(), QStringLiteral("Gain"), nullptr, 0});
  model.setMarkers({{quar::Uuid::random(), 10000, QStringLiteral("A")}});
  click({200, 100});
  press({110, 10});
  drag({300, 10});
  release({300, 10});
  EXPECT_EQ(model.cursor(), 0);
  EXPECT_EQ(model.markers()[0].frame, 10000);
  model.jobs().setBusy(std::nullopt);
}

TEST_F(TimelineViewPointerTest, ThePointerShowsWhatAPressWouldDo) {
  model.viewSettings().setShowLoudnessLane(true);
  model.viewSettings().setLoudnessLaneHeight(120);
  view.resize(600, 400);  // lanes [26, 280], loudness lane below
  model.setSelection(FrameRange(10000, 30000), std::nullopt);
  model.setMarkers({{quar::Uuid::random(), 40000, QStringLiteral("A")}});
  struct Case {
    QPointF p;
    Qt::CursorShape shape;
  };
  for (const Case& c : {Case{{200, 282}, Qt::SizeVerCursor}, Case{{200, 350}, Qt::CrossCursor},
                        Case{{303, 100}, Qt::SizeHorCursor}, Case{{200, 100}, Qt::IBeamCursor},
                        Case{{430, 10}, Qt::OpenHandCursor}, Case{{200, 10}, Qt::ArrowCursor}}) {
    hover(c.p);
    EXPECT_EQ(view.cursor().shape(), c.shape) << c.p.x() << "," << c.p.y();
  }
}
