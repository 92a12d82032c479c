#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "views/TimelineEnvelopeEditing.h"

using namespace TimelineEnvelopeEditing;
using quar::FrameRange;
using quar::GainEnvelope;

namespace {

// 600 by 400 points at 100 frames per point, a 130-point loudness lane: the envelope band runs
// from y 288 to 394 (0 dB at 341) for a range of 12 dB.
TimelineGeometry geometry() {
  TimelineGeometry g;
  g.width = 600;
  g.height = 400;
  g.channelCount = 2;
  g.frameCount = 480000;
  g.framesPerPoint = 100;
  g.showLoudnessLane = true;
  g.loudnessLaneHeight = 130;
  return g;
}

Marker marker(int64_t frame) { return {quar::Uuid::random(), frame, QStringLiteral("M")}; }

} // namespace

TEST(TimelineEnvelopeEditingTest, PressesGrabTheNearestPointWithinEightPoints) {
  const TimelineGeometry g = geometry();
  GainEnvelope envelope;
  const quar::Uuid a = envelope.insert(10000, 0);  // (100, 341)
  const quar::Uuid b = envelope.insert(11600, 0);  // (116, 341)
  struct Case {
    QPointF p;
    std::optional<quar::Uuid> id;
  };
  for (const Case& c : {Case{{101, 345}, a}, Case{{108, 341}, a} /* as near to both: the earlier */,
                        Case{{109, 341}, b}, Case{{124, 341}, b}, Case{{116, 349.1}, std::nullopt},
                        Case{{92, 341}, a}, Case{{91.9, 341}, std::nullopt}}) {
    const std::optional<quar::EnvelopePoint> hit = pointNear(envelope, g, c.p);
    EXPECT_EQ(hit ? std::optional(hit->id) : std::nullopt, c.id) << c.p.x() << "," << c.p.y();
  }
  EXPECT_EQ(pointNear(GainEnvelope(), g, {100, 341}), std::nullopt);
}

TEST(TimelineEnvelopeEditingTest, SectionsComeFromTheSelectionTheMarkersOrThePoints) {
  const std::vector<Marker> markers{marker(96000), marker(48000)};  // out of order: found by frame
  GainEnvelope points;
  points.insert(20000, 3);
  points.insert(60000, -3);
  struct Case {
    std::optional<FrameRange> selection;
    bool useMarkers;
    int64_t frame;
    FrameRange section;
  };
  const Case cases[] = {
      {FrameRange(50000, 70000), true, 60000, {50000, 70000}},
      {FrameRange(50000, 70000), true, 70000, {48000, 96000}},  // the selection's end is outside it
      {std::nullopt, true, 60000, {48000, 96000}},
      {std::nullopt, true, 48000, {48000, 96000}},
      {std::nullopt, true, 10000, {0, 48000}},
      {std::nullopt, true, 100000, {96000, 480000}},
      {std::nullopt, false, 40000, {20000, 60000}},
      {std::nullopt, false, 10000, {0, 20000}},
      {std::nullopt, false, 60000, {20000, 480000}},  // on a point: from the one before it
      {std::nullopt, false, 90000, {60000, 480000}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(section(c.selection, c.useMarkers ? markers : std::vector<Marker>{}, points, c.frame, 480000), c.section)
        << c.frame;
  EXPECT_EQ(section(std::nullopt, {}, GainEnvelope(), 0, 0), FrameRange(0, 1));
}

TEST(TimelineEnvelopeEditingTest, PointDragsHaveADetentAndSnapToQuarterBeats) {
  EXPECT_EQ(detented(0.3, 12), 0);
  EXPECT_EQ(detented(-0.35, 12), 0);
  EXPECT_EQ(detented(0.36, 12), 0.36);
  EXPECT_EQ(detented(0.3, 3), 0.3);

  const quar::TempoGrid grid(120, 4, 0);  // a quarter beat is 6000 frames at 48 kHz
  EXPECT_EQ(snappedToGrid(7000, grid, 48000, 480000), 6000);
  EXPECT_EQ(snappedToGrid(9000, grid, 48000, 480000), 12000);
  EXPECT_EQ(snappedToGrid(479000, grid, 48000, 480000), 480000);
  EXPECT_EQ(snappedToGrid(7000, quar::TempoGrid(120, 4, 1000), 48000, 480000), 7000);
  EXPECT_EQ(snappedToGrid(100, quar::TempoGrid(120, 4, -2000), 48000, 480000), 0);
  // No usable quarter beat: the frame stays.
  EXPECT_EQ(snappedToGrid(7000, grid, 0, 480000), 7000);
  EXPECT_EQ(snappedToGrid(7000, grid, NAN, 480000), 7000);
}

TEST(TimelineEnvelopeEditingTest, BarsAndRampsAreCheckedBeforeTheyBecomeIntegers) {
  const quar::TempoGrid grid(120, 4, 0);  // 96,000 frames a bar
  EXPECT_EQ(barAt(grid, 200000, 48000), 2);
  EXPECT_EQ(barAt(grid, -1, 48000), -1);
  EXPECT_EQ(barAt(grid, 1e300, 48000), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(barAt(grid, -1e300, 48000), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(rampFrames(48000), 480);
  EXPECT_EQ(rampFrames(44100), 441);
  EXPECT_EQ(rampFrames(22050.5), 220);
  EXPECT_EQ(rampFrames(INFINITY), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(dragDelta(341, 314.5, 106, 12), 6);
  EXPECT_EQ(dragDelta(341, 394, 106, 12), -12);
}

TEST(TimelineEnvelopeEditingTest, PreparedSpansMoveTogetherFromTheirStartGains) {
  GainEnvelope envelope;
  envelope.insert(20000, 2);
  PreparedSpan span = prepare(envelope, FrameRange(10000, 30000), 480);
  ASSERT_EQ(span.ids.size(), 3u);  // the section's ends and the point inside it
  offset(envelope, span, 3);
  offset(envelope, span, 4);  // from the gains at the press, not the last ones
  std::vector<std::pair<int64_t, double>> points;
  for (const quar::EnvelopePoint& p : envelope.points) points.emplace_back(p.frame, p.gainDB);
  EXPECT_EQ(points, (std::vector<std::pair<int64_t, double>>{{9520, 2}, {10000, 6}, {20000, 6}, {30000, 6}, {30480, 2}}));
}

TEST(TimelineEnvelopeEditingTest, ReadOuts) {
  EXPECT_EQ(pointReadout(1.5, QStringLiteral("0:01.250")), QStringLiteral("+1.5 dB  @ 0:01.250"));
  EXPECT_EQ(pointReadout(-12, QStringLiteral("48000")), QStringLiteral("-12.0 dB  @ 48000"));
  EXPECT_EQ(sectionReadout(6, FrameRange(10000, 30000), 48000), QStringLiteral("+6.0 dB  (0.417 s)"));
  EXPECT_EQ(sectionReadout(-2.34, FrameRange(0, 48000 * 62 + 24000), 48000), QStringLiteral("-2.3 dB  (1:02.50)"));
  EXPECT_EQ(barsReadout(4.04, 2, 4), QStringLiteral(u"+4.0 dB  \u00B7 bars 3\u20135 (3)"));
  EXPECT_EQ(barsReadout(4.04, 4, 2), QStringLiteral(u"+4.0 dB  \u00B7 bars 3\u20135 (3)"));
  EXPECT_EQ(barsReadout(0, 2, 2), QStringLiteral(u"+0.0 dB  \u00B7 bar 3"));
  EXPECT_EQ(barsReadout(1, -1, 0), QStringLiteral(u"+1.0 dB  \u00B7 bars 0\u20131 (2)"));
}

TEST(TimelineEnvelopeEditingTest, TheRangeStepsOnceAnEvent) {
  struct Case {
    double range;
    double dy;
    bool precise;
    std::optional<double> next;
  };
  const Case cases[] = {
      {10, 1, false, 6},  {10, -1, false, 24},           {12, 0.1, false, 6},     {12, -30, false, 24},
      {3, 1, false, {}},  {48, -1, false, {}},           {12, 0, false, {}},      {12, 3, true, {}},
      {12, -4, true, {}}, {12, 5, true, 6},              {12, -5, true, 24},      {12, NAN, false, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(steppedRange(c.range, c.dy, c.precise), c.next) << c.range << " " << c.dy << " " << c.precise;
}
