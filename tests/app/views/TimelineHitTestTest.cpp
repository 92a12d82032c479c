#include <gtest/gtest.h>

#include "views/TimelineHitTest.h"

using namespace TimelineHitTest;
using quar::FrameRange;

namespace {

// 600 by 400 points, 100 frames per point from frame 0, a 120-point loudness lane (top at 280).
TimelineGeometry geometry() {
  TimelineGeometry g;
  g.width = 600;
  g.height = 400;
  g.channelCount = 2;
  g.frameCount = 480000;
  g.framesPerPoint = 100;
  g.showLoudnessLane = true;
  g.loudnessLaneHeight = 120;
  return g;
}

Marker marker(int64_t frame, const char* name) { return {quar::Uuid::random(), frame, QString::fromUtf8(name)}; }

} // namespace

TEST(TimelineHitTestTest, LoudnessLaneEdgeIsThreePointsEitherSide) {
  TimelineGeometry g = geometry();
  for (const double y : {277.0, 280.0, 283.0}) EXPECT_TRUE(onLoudnessLaneEdge(g, {10, y})) << y;
  for (const double y : {276.5, 283.5}) EXPECT_FALSE(onLoudnessLaneEdge(g, {10, y})) << y;
  g.showLoudnessLane = false;
  EXPECT_FALSE(onLoudnessLaneEdge(g, {10, 280}));
}

TEST(TimelineHitTestTest, MarkerFlagsCatchFromThreeLeftToSixtyRightAndTheLaterWins) {
  const TimelineGeometry g = geometry();
  const std::vector<Marker> markers{marker(10000, "A"), marker(13000, "B")};  // x 100 and 130
  struct Case {
    QPointF p;
    const char* name;  // null: none
  };
  for (const Case& c : {Case{{96.9, 10}, nullptr}, Case{{97, 10}, "A"}, Case{{126, 10}, "A"},
                        Case{{135, 10}, "B"},  // both flags: the later in the list
                        Case{{190, 25.9}, "B"}, Case{{190.1, 10}, nullptr}, Case{{135, 26}, nullptr}}) {
    const std::optional<Marker> hit = markerAt(markers, g, c.p);
    EXPECT_EQ(hit ? hit->name.toStdString() : "", c.name ? c.name : "") << c.p.x() << "," << c.p.y();
  }
}

TEST(TimelineHitTestTest, SelectionEdgesGiveTheOppositeEdge) {
  const TimelineGeometry g = geometry();
  const FrameRange wide(10000, 30000);    // x [100, 300]
  const FrameRange narrow(10000, 10800);  // 8 points: the upper edge wins
  struct Case {
    std::optional<FrameRange> selection;
    QPointF p;
    std::optional<int64_t> edge;
  };
  for (const Case& c : {Case{wide, {305, 100}, 10000}, Case{wide, {295, 100}, 10000}, Case{wide, {95, 100}, 30000},
                        Case{wide, {105, 100}, 30000}, Case{wide, {106, 100}, std::nullopt},
                        Case{wide, {100, 20}, std::nullopt},  // in the ruler
                        Case{narrow, {104, 100}, 10000}, Case{std::nullopt, {100, 100}, std::nullopt}})
    EXPECT_EQ(selectionEdge(c.selection, g, c.p), c.edge) << c.p.x() << "," << c.p.y();
}

TEST(TimelineHitTestTest, RegionsLieBetweenMarkersByFrameWhateverTheirOrder) {
  // Out of frame order, as in a list that was never sorted.
  const std::vector<Marker> markers{marker(5000, "B"), marker(1000, "A"), marker(3000, "C")};
  struct Case {
    int64_t frame;
    FrameRange region;
  };
  for (const Case& c : {Case{2000, {1000, 3000}}, Case{4000, {3000, 5000}}, Case{500, {0, 1000}},
                        Case{8000, {5000, 10000}}, Case{1000, {1000, 3000}}, Case{10000, {5000, 10000}}})
    EXPECT_EQ(regionAround(markers, c.frame, 10000), c.region) << c.frame;
  EXPECT_EQ(regionAround({}, 400, 10000), FrameRange(0, 10000));
}

TEST(TimelineHitTestTest, ShiftClicksAnchorAtTheFartherEdgeOrTheCursor) {
  const FrameRange selection(1000, 5000);
  EXPECT_EQ(extensionAnchor(selection, 0, 2000), 5000);
  EXPECT_EQ(extensionAnchor(selection, 0, 4000), 1000);
  EXPECT_EQ(extensionAnchor(selection, 0, 3000), 1000);  // midway: the lower edge
  EXPECT_EQ(extensionAnchor(selection, 0, 9000), 1000);
  EXPECT_EQ(extensionAnchor(std::nullopt, 700, 3000), 700);
}

TEST(TimelineHitTestTest, TheMenuOffersTheNearestMarkerCloserThanEightPoints) {
  const TimelineGeometry g = geometry();
  const std::vector<Marker> markers{marker(10000, "A"), marker(11000, "B"), marker(12000, "C")};  // x 100, 110, 120
  struct Case {
    double x;
    const char* name;
  };
  for (const Case& c : {Case{95, "A"}, Case{105, "A"} /* a tie: the first */, Case{107, "B"}, Case{125, "C"},
                        Case{127.9, "C"}, Case{128, nullptr}, Case{92, nullptr}}) {
    const std::optional<Marker> near = markerNear(markers, g, c.x);
    EXPECT_EQ(near ? near->name.toStdString() : "", c.name ? c.name : "") << c.x;
  }
  EXPECT_EQ(markerNear({}, g, 100), std::nullopt);
}
