#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineOverlays.h"
#include "views/TimelineRuler.h"

using namespace ViewTestSupport;
using TimelineOverlays::GridLines;

TEST(TimelineOverlays, GridLinesAt120BpmIn44) {
  const quar::TempoGrid grid(120, 4, 0);  // a beat is 24000 frames at 48 kHz, a bar 96000

  // 1000 frames per point: bars 96 points apart with numbers, beats 24 points apart.
  const GridLines near = TimelineOverlays::gridLines(grid, 48000, 0, 1000, 200);
  EXPECT_EQ(near.stride, 1);
  EXPECT_EQ(near.bars, (std::vector<GridLines::Bar>{{0.5, 1}, {96.5, 2}, {192.5, 3}, {288.5, 4}}));
  EXPECT_EQ(std::vector<double>(near.beats.begin(), near.beats.begin() + 4),
            (std::vector<double>{24.5, 48.5, 72.5, 120.5}));

  // 10,000 frames per point: bars 9.6 points wide, every second one drawn, no numbers, no beats.
  const GridLines far = TimelineOverlays::gridLines(grid, 48000, 0, 10000, 100);
  EXPECT_EQ(far.stride, 2);
  ASSERT_GE(far.bars.size(), 3u);
  EXPECT_EQ(far.bars[1], (GridLines::Bar{19.5, std::nullopt}));
  EXPECT_TRUE(far.beats.empty());

  // A bar 0.4 points wide: nothing.
  const GridLines none = TimelineOverlays::gridLines(grid, 48000, 0, 240000, 100);
  EXPECT_EQ(none.stride, 0);
  EXPECT_TRUE(none.bars.empty());
}

TEST(TimelineOverlays, GridStrideKeepsItsMultiplesBeforeTheDownbeat) {
  // Bars 6 points wide: stride 4 (24 points, numbered). The view starts in bar -3.
  const quar::TempoGrid grid(120, 4, 3 * 96000 - 1000);
  const GridLines lines = TimelineOverlays::gridLines(grid, 48000, 0, 16000, 60);
  EXPECT_EQ(lines.stride, 4);
  ASSERT_GE(lines.bars.size(), 3u);
  const double x0 = (-4.0 * 96000 + grid.downbeatFrame) / 16000;
  EXPECT_EQ(lines.bars[0], (GridLines::Bar{TimelineGeometry::lineX(x0), std::nullopt}));  // bar -4
  EXPECT_EQ(lines.bars[1].number, 1);                                                    // bar 0
  EXPECT_EQ(lines.bars[2].number, 5);                                                    // bar 4
  EXPECT_DOUBLE_EQ(lines.bars[2].x, TimelineGeometry::lineX(x0 + 8 * 6));
}

TEST(TimelineOverlays, GridLeavesOutLinesFarOutsideTheView) {
  // Deeply zoomed into a slow grid: only the bar near the view is kept.
  const quar::TempoGrid grid(20, 16, 0);
  const GridLines lines = TimelineOverlays::gridLines(grid, 48000, 3 * 2304000 + 2, 1.0 / 32, 800);
  ASSERT_EQ(lines.bars.size(), 1u);
  EXPECT_DOUBLE_EQ(lines.bars[0].x, -63.5);
  for (const double x : lines.beats) EXPECT_LT(std::abs(x), 1000);
}

TEST(TimelineRuler, Labels) {
  struct Case {
    double seconds, step;
    TimeFormat format;
    double sampleRate;
    const char* label;
  };
  const Case cases[] = {
      {1.05, 0.05, TimeFormat::seconds, 48000, "1.05"},
      {1.10, 0.05, TimeFormat::seconds, 48000, "1.10"},
      {12.5, 0.02, TimeFormat::seconds, 48000, "12.50"},
      {5, 5, TimeFormat::hms, 48000, "0:05"},
      {3725, 60, TimeFormat::hms, 48000, "1:02:05"},
      {0.29999999999999993, 0.1, TimeFormat::hms, 48000, "0:00.3"},
      {0.0005, 0.0005, TimeFormat::hms, 48000, "0:00.0005"},
      {1.5, 0.5, TimeFormat::samples, 44100, "66,150"},
      {60, 60, TimeFormat::samples, 48000, "2,880,000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TimelineRuler::label(c.seconds, c.step, c.format, c.sampleRate), QString::fromUtf8(c.label)) << c.label;
}

TEST(TimelineRuler, TicksEveryMinorStepAndLongOnesAtMajorSteps) {
  // 0.02 s per point (960 frames at 48 kHz): 2 s major, 0.5 s minor, over [0.9, 6.9] s.
  const std::vector<TimelineRuler::Tick> ticks = TimelineRuler::ticks(43200, 960, 48000, 300, {2, 0.5});
  ASSERT_EQ(ticks.size(), 13u);
  EXPECT_DOUBLE_EQ(ticks[0].seconds, 0.5);
  EXPECT_DOUBLE_EQ(ticks[0].x, TimelineGeometry::lineX(-20));
  for (const TimelineRuler::Tick& tick : ticks)
    EXPECT_EQ(tick.major, std::fmod(tick.seconds + 1e-9, 2) < 1e-6) << tick.seconds;
  EXPECT_TRUE(TimelineRuler::ticks(0, std::nan(""), 48000, 300, {2, 0.5}).empty());
}

TEST(TimelineRuler, FlagsEndBeforeTheNextFlagBegins) {
  const QFont font = TextDrawing::font(10, QFont::Medium);
  const double nameWidth = TextDrawing::size(font, QStringLiteral("Marker 1")).width();
  const auto marker = [](int64_t frame, const char* name) {
    return Marker{quar::Uuid::random(), frame, QString::fromUtf8(name)};
  };
  // 100 frames per point from frame 0, 600 points wide; the markers out of order.
  const std::vector<TimelineRuler::Flag> flags = TimelineRuler::flags(
      {marker(30000, "Marker 3"), marker(10000, "Marker 1"), marker(12000, "Marker 2"), marker(30000, "Marker 4"),
       marker(-2000, "Just left"), marker(-13000, "Too far left"), marker(50000, "Wide"), marker(51200, "Last")},
      0, 100, 600, font);
  std::vector<QString> names;
  for (const TimelineRuler::Flag& flag : flags) names.push_back(flag.name);
  // Marker 3 has no room at all, and "Wide" none for its first letter in an 11-point flag.
  EXPECT_EQ(names, (std::vector<QString>{"Just left", "Marker 1", "Marker 2", "", "Marker 4", "", "Last"}));
  EXPECT_EQ(flags[5].body, QRectF(500, 2, 11, 14));
  EXPECT_EQ(flags[1].body, QRectF(100, 2, 19, 14));  // cut a point before Marker 2's flag
  EXPECT_EQ(flags[1].stem, QRectF(100, 2, 1.5, 24));
  EXPECT_EQ(flags[2].body, QRectF(120, 2, nameWidth + 8, 14));
  EXPECT_TRUE(flags[3].body.isEmpty());  // Marker 4 at the same point shows instead
  EXPECT_EQ(flags[4].body.width(), std::min(TextDrawing::size(font, QStringLiteral("Marker 4")).width() + 8, 140.0));
}

class TimelineOverlaysDrawing : public AppTest {
protected:
  // A silent stereo document of 10 s at 100 frames per point, 600 by 300 points.
  TimelineOverlaysDrawing() : model(constant(480000, 0, 2), std::nullopt) {
    model.viewport().setViewWidth(600);
    model.viewport().setFramesPerPoint(100);
  }
  QImage draw(const QString& name) {
    QImage image = drawTimeline(model, {600, 300}, 2);
    savePicture(image, name);
    return image;
  }
  EditorModel model;
  const QPalette light = palette(false);
};

TEST_F(TimelineOverlaysDrawing, SelectionFillsOnlyActiveLanes) {
  model.viewSettings().setShowLoudnessLane(false);
  model.setSelection(quar::FrameRange(10000, 20000));  // x [100, 200]
  model.setActiveChannels({1});
  const QImage image = draw(QStringLiteral("timeline-selection-one-channel"));
  const TimelineGeometry g = TimelineGeometry::of(model, {600, 300});
  const QColor lane = Theme::laneBackground.resolved(light);
  const QColor selected = over(Theme::selection.resolved(light), lane);
  const double y0 = g.laneRect(0).top() + 40;
  const double y1 = g.laneRect(1).top() + 40;
  EXPECT_EQ(pixel(image, 150, y0).rgb(), lane.rgb());
  EXPECT_EQ(pixel(image, 150, y1).rgb(), selected.rgb());
  EXPECT_EQ(pixel(image, 250, y1).rgb(), lane.rgb());
  // The edges cross both lanes.
  const QColor edge = over(Theme::selectionEdge.resolved(light), lane);
  EXPECT_EQ(pixel(image, 100.5, y0).rgb(), edge.rgb());
  EXPECT_EQ(pixel(image, 200.5, y0).rgb(), edge.rgb());
}

TEST_F(TimelineOverlaysDrawing, SelectionFarBeyondBothEdgesStillFills) {
  // An hour of silence (one block, repeated), all selected, zoomed in to 1/32 frame per point:
  // the selection's far edge lies billions of points to the right.
  const auto block = quar::AudioBlock::make(std::vector<std::vector<float>>(2, std::vector<float>(65536)));
  std::vector<quar::Segment> segments(2637, quar::Segment{block, 0, 65536});
  EditorModel hour(quar::AudioContent(2, 48000, segments), std::nullopt);
  hour.viewSettings().setShowLoudnessLane(false);
  hour.viewport().setViewWidth(600);
  hour.viewport().setFramesPerPoint(1.0 / 32);
  hour.viewport().setScrollFrame(1000);
  hour.setSelection(quar::FrameRange(0, hour.content().frameCount()));
  const QImage image = drawTimeline(hour, {600, 300}, 2);
  const QColor selected = over(Theme::selection.resolved(light), Theme::laneBackground.resolved(light));
  EXPECT_EQ(pixel(image, 300, 50).rgb(), selected.rgb());
  QColor bar = Theme::selectionEdge.resolved(light);
  bar.setAlphaF(0.35f);
  EXPECT_EQ(pixel(image, 300, 23).rgb(), over(bar, Theme::rulerBackground.resolved(light)).rgb());
}

TEST_F(TimelineOverlaysDrawing, CursorOnlyWithoutSelection) {
  model.setCursor(30000);  // x 300
  QColor cursorColor = Theme::cursor.resolved(light);
  cursorColor.setAlphaF(0.85f);
  const QColor cursor = over(cursorColor, Theme::laneBackground.resolved(light));
  EXPECT_EQ(pixel(draw(QStringLiteral("timeline-cursor")), 300.5, 100).rgb(), cursor.rgb());
  model.setSelection(quar::FrameRange(1000, 2000));
  EXPECT_NE(pixel(draw(QStringLiteral("timeline-cursor-hidden-by-selection")), 300.5, 100).rgb(), cursor.rgb());
}

TEST_F(TimelineOverlaysDrawing, MarkerFlagsClipLongNamesAndShowJustLeftOfTheView) {
  model.viewport().setScrollFrame(15000);
  const QString longName(40, u'W');
  model.setMarkers({{quar::Uuid::random(), 5000, longName},    // x -100: the flag's end shows
                    {quar::Uuid::random(), 35000, longName}});  // x 200
  const QImage image = draw(QStringLiteral("timeline-marker-flags"));
  const QColor flag = Theme::marker.resolved(light);
  const QColor ruler = Theme::rulerBackground.resolved(light);
  EXPECT_EQ(pixel(image, 200 + 137, 9).rgb(), flag.rgb());  // inside the 140-point flag, past the clipped name
  EXPECT_EQ(pixel(image, 200 + 141, 9).rgb(), ruler.rgb());
  EXPECT_EQ(pixel(image, 37, 9).rgb(), flag.rgb());
  EXPECT_EQ(pixel(image, 41, 9).rgb(), ruler.rgb());
}

TEST_F(TimelineOverlaysDrawing, FlagsKeepApartAndCoverNoTimeLabel) {
  // Time labels every 0.2 s (96 points); Marker 2 begins 20 points after Marker 1 and Marker 3
  // 8.5 points after the label of 0.6 s begins.
  model.viewSettings().setShowLoudnessLane(false);
  model.setMarkers({{quar::Uuid::random(), 10000, QStringLiteral("Marker 1")},
                    {quar::Uuid::random(), 12000, QStringLiteral("Marker 2")},
                    {quar::Uuid::random(), 30000, QStringLiteral("Marker 3")}});
  const QImage image = draw(QStringLiteral("timeline-marker-flags-close"));
  const QColor ruler = Theme::rulerBackground.resolved(light);
  EXPECT_EQ(pixel(image, 119.25, 9).rgb(), ruler.rgb());  // the point between the flags
  EXPECT_EQ(pixel(image, 117.5, 9).rgb(), Theme::marker.resolved(light).rgb());  // inside the inner margin
  // No part of the covered label shows left of Marker 3's flag.
  EXPECT_EQ(count(image, QRectF(289, 3, 11, 12), ruler), 11 * 12 * 4);
}
