#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QTest>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "views/TimelineView.h"

using namespace ViewTestSupport;

namespace {

void settle() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

} // namespace

class TimelineViewTest : public AppTest {
protected:
  TimelineViewTest() : model(constant(480000, 0, 2), std::nullopt) {}
  // Shows the view at 600 by 300 points, 100 frames per point from the start.
  void show(TimelineView& view) {
    view.resize(600, 300);
    view.show();
    model.viewport().setFramesPerPoint(100);
    model.viewport().setScrollFrame(0);
    settle();
  }
  EditorModel model;
};

TEST_F(TimelineViewTest, IsAnAccessibleWaveformGroupThatTakesKeysAndDrops) {
  TimelineView view(&model);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Grouping);
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Waveform"));
  EXPECT_EQ(view.focusPolicy(), Qt::StrongFocus);
  EXPECT_TRUE(view.acceptDrops());
  EXPECT_TRUE(view.hasMouseTracking());
  EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(TimelineViewTest, ShowsAFocusRingWhileItHasTheKeys) {
  TimelineView view(&model);
  show(view);
  QApplication::setActiveWindow(&view);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  view.setFocus();
  ASSERT_TRUE(view.hasFocus());
  const QColor ring = view.palette().color(QPalette::Highlight);
  const QImage focused = view.grab().toImage();
  for (const QPoint p : {QPoint(0, 150), QPoint(1, 150), QPoint(599, 150), QPoint(300, 0), QPoint(300, 299)})
    EXPECT_EQ(focused.pixelColor(p), ring) << p.x() << "," << p.y();
  EXPECT_NE(focused.pixelColor(2, 150), ring);

  view.clearFocus();
  EXPECT_NE(view.grab().toImage().pixelColor(0, 150), ring);
}

TEST_F(TimelineViewTest, FirstLayoutFitsTheDocumentAndLaterOnesOnlyClamp) {
  TimelineView view(&model);
  view.resize(1000, 300);
  view.show();
  EXPECT_EQ(model.viewport().viewWidth(), 1000);
  EXPECT_NEAR(model.viewport().framesPerPoint(), 480, 1e-9);
  model.viewport().setFramesPerPoint(100);
  model.viewport().setScrollFrame(5000);
  view.resize(1200, 300);
  EXPECT_EQ(model.viewport().viewWidth(), 1200);
  EXPECT_EQ(model.viewport().framesPerPoint(), 100);
  EXPECT_EQ(model.viewport().scrollFrame(), 5000);
}

TEST_F(TimelineViewTest, LayoutLeavesAScrolledOrSameWidthDocumentAlone) {
  struct Case {
    double scrollFrame;
    int width;
    double viewWidth;
  };
  for (const Case& c : {Case{1000, 1000, 1000}, Case{0, 800, 800}}) {
    EditorModel fresh(constant(480000, 0, 2), std::nullopt);
    fresh.viewport().setScrollFrame(c.scrollFrame);
    TimelineView view(&fresh);
    view.resize(c.width, 300);
    view.show();
    EXPECT_EQ(fresh.viewport().viewWidth(), c.viewWidth);
    EXPECT_EQ(fresh.viewport().framesPerPoint(), 256) << c.width;
  }
}

TEST_F(TimelineViewTest, RedrawsOnceWhenSomethingItDrewChanges) {
  TimelineView view(&model);
  show(view);
  const int drawn = view.drawCount();
  ASSERT_GE(drawn, 1);

  model.setSelection(quar::FrameRange(100, 2000));
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 1);

  // Nothing the drawing read: transport state, the grid while it is hidden.
  model.transport().setIsPlaying(true);
  model.transport().setPlayhead(5000);
  model.tempo().setGrid(quar::TempoGrid(90, 3, 0));
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 1);

  // Several changes before the next paint make one redraw.
  model.tempo().setShowGrid(true);
  model.setCursor(300);
  model.setMarkers({{quar::Uuid::random(), 1000, QStringLiteral("A")}});
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 2);
  model.tempo().setGrid(quar::TempoGrid(100, 4, 0));
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 3);

  // A palette change redraws in the other appearance.
  view.setPalette(palette(true));
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 4);
  EXPECT_EQ(view.backingImage().pixelColor(300, 10), Theme::rulerBackground.dark);
}

TEST_F(TimelineViewTest, RedrawsWhenTheLoudnessFiguresItShowsChange) {
  model.analysis().cancel();  // no measurement arrives of itself
  model.viewSettings().setShowLoudnessLane(true);
  TimelineView view(&model);
  show(view);
  const int drawn = view.drawCount();

  quar::LoudnessResult result;
  result.integratedLUFS = -16;
  model.analysis().setContentLoudness(result);
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 1);

  model.analysis().setSelectionLoudness(result);  // not shown in the lane
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 1);

  model.analysis().setIsAnalyzing(!model.analysis().isAnalyzing());
  settle();
  EXPECT_EQ(view.drawCount(), drawn + 2);
}

TEST_F(TimelineViewTest, PlayheadMovesOverTheImageWithoutRedrawingIt) {
  TimelineView view(&model);
  show(view);
  // While playing the line follows the engine, which has not started here.
  model.transport().setIsPlaying(true);
  model.transport().setPlayhead(10000);
  view.advancePlayhead();
  EXPECT_EQ(view.playheadFrame(), QRectF(-0.75, 0, 1.5, 300));

  view.setAudiblePosition([this] { return model.transport().playhead(); });
  model.transport().setIsPlaying(false);
  view.advancePlayhead();
  EXPECT_EQ(view.playheadFrame(), std::nullopt);  // stopped

  model.transport().setIsPlaying(true);
  model.transport().setPlayhead(10025);
  view.advancePlayhead();
  EXPECT_EQ(view.playheadFrame(), QRectF(100.25 - 0.75, 0, 1.5, 300));
  settle();
  const QImage painted = view.grab().toImage();
  savePicture(painted, QStringLiteral("timeline-playhead"));
  EXPECT_EQ(painted.pixelColor(100, 150), Theme::playhead.resolved(palette(false)));

  const int drawn = view.drawCount();
  for (int tick = 0; tick < 100; ++tick) {
    model.transport().setPlayhead(10000 + tick * 300);
    view.advancePlayhead();
    settle();
  }
  EXPECT_EQ(view.drawCount(), drawn);

  struct Case {
    bool playing;
    std::optional<int64_t> recordHead;
    int64_t playhead;
    std::optional<double> x;
  };
  const Case cases[] = {
      {true, std::nullopt, 0, 0},  // half of it left of the view
      {true, std::nullopt, 60000, 600},
      {true, std::nullopt, 60100, std::nullopt},  // one point past the right edge
      {true, 20000, 5000, 200},                   // a recording follows the record head
      {false, 30000, 5000, 300},
      {false, std::nullopt, 5000, std::nullopt},
  };
  for (const Case& c : cases) {
    model.transport().setIsPlaying(c.playing);
    model.setRecordHead(c.recordHead);
    model.transport().setPlayhead(c.playhead);
    view.advancePlayhead();
    const std::optional<QRectF> expected =
        c.x ? std::optional(QRectF(*c.x - 0.75, 0, 1.5, 300)) : std::nullopt;
    EXPECT_EQ(view.playheadFrame(), expected) << c.playhead;
  }

  // A taller view stretches the line at the next refresh; the audible position can come from elsewhere.
  model.transport().setIsPlaying(true);
  view.setAudiblePosition([] { return int64_t{40000}; });
  view.resize(600, 400);
  view.advancePlayhead();
  EXPECT_EQ(view.playheadFrame(), QRectF(400 - 0.75, 0, 1.5, 400));
}

TEST_F(TimelineViewTest, DrawsTheWholeTimeline) {
  EditorModel music(ViewTestSupport::music(480000), std::nullopt);
  music.viewSettings().setShowLoudnessLane(false);
  TimelineView view(&music);
  view.resize(800, 300);
  view.show();
  music.setSelection(quar::FrameRange(120000, 180000));
  music.setActiveChannels({0});
  music.setMarkers({{quar::Uuid::random(), 60000, QStringLiteral("Verse")},
                    {quar::Uuid::random(), 300000, QStringLiteral("Chorus")}});
  music.tempo().setShowGrid(true);
  music.viewport().setAmplitudeZoom(1.5);
  music.transport().setIsPlaying(true);
  music.transport().setPlayhead(200000);
  view.advancePlayhead();
  settle();
  savePicture(view.grab().toImage(), QStringLiteral("timeline-view"));
  view.setPalette(palette(true));
  settle();
  savePicture(view.grab().toImage(), QStringLiteral("timeline-view-dark"));
  music.viewport().setFramesPerPoint(0.125);
  music.viewport().setScrollFrame(1000);
  view.advancePlayhead();
  settle();
  savePicture(view.grab().toImage(), QStringLiteral("timeline-view-samples"));
  EXPECT_EQ(view.backingImage().size(), QSize(800, 300) * view.devicePixelRatio());
}
