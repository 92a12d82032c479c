#include <gtest/gtest.h>

#include "views/TimelineGeometry.h"

namespace {

TimelineGeometry geometry(double height, int channels, bool lane = false, double laneHeight = 130) {
  TimelineGeometry g;
  g.width = 500;
  g.height = height;
  g.channelCount = channels;
  g.frameCount = 48000;
  g.scrollFrame = 0;
  g.framesPerPoint = 100;
  g.showLoudnessLane = lane;
  g.loudnessLaneHeight = laneHeight;
  return g;
}

} // namespace

TEST(TimelineGeometry, LanesShareTheSpaceBetweenRulerAndLoudnessLane) {
  struct Case {
    double height;
    int channels;
    bool lane;
    double laneHeight;
    double loudness;                   // L
    QRectF lanes;
    std::vector<QRectF> channelLanes;  // first lanes
  };
  const Case cases[] = {
      {300, 2, false, 130, 130, {0, 26, 500, 274}, {{0, 26, 500, 136.5}, {0, 163.5, 500, 136.5}}},
      {400, 1, true, 600, 294, {0, 26, 500, 80}, {{0, 26, 500, 80}}},
      {150, 1, true, 600, 70, {0, 26, 500, 54}, {{0, 26, 500, 54}}},
      {100, 1, true, 600, 70, {0, 26, 500, 20}, {{0, 26, 500, 20}}},  // overlaps rather than going negative
      {400, 2, true, 20, 70, {0, 26, 500, 304}, {{0, 26, 500, 151.5}, {0, 178.5, 500, 151.5}}},
      {300, 0, false, 130, 130, {0, 26, 500, 274}, {{0, 26, 500, 274}}},  // no channels counts as one lane
  };
  for (const Case& c : cases) {
    const TimelineGeometry g = geometry(c.height, c.channels, c.lane, c.laneHeight);
    SCOPED_TRACE(testing::Message() << "height " << c.height << ", lane " << c.lane << " " << c.laneHeight);
    EXPECT_DOUBLE_EQ(g.loudnessHeight(), c.loudness);
    EXPECT_EQ(g.lanesRect(), c.lanes);
    for (size_t i = 0; i < c.channelLanes.size(); ++i) EXPECT_EQ(g.laneRect(static_cast<int>(i)), c.channelLanes[i]);
    EXPECT_EQ(g.loudnessRect(), QRectF(0, c.height - c.loudness, 500, c.loudness));
  }
}

TEST(TimelineGeometry, ChannelAtY) {
  const TimelineGeometry stereo = geometry(300, 2);  // lanes [26, 162.5] and [163.5, 300]
  struct Case {
    double y;
    std::optional<int> channel;
  };
  for (const Case& c : {Case{24.9, std::nullopt}, Case{25, 0}, Case{25.5, 0}, Case{100, 0}, Case{162.5, 0},
                        Case{163, 1}, Case{300, 1}, Case{300.5, std::nullopt}})
    EXPECT_EQ(stereo.channel(c.y), c.channel) << c.y;

  EXPECT_EQ(geometry(400, 1, true, 130).channel(300), std::nullopt);  // in the loudness lane
  EXPECT_EQ(geometry(300, 0).channel(100), std::nullopt);
}

TEST(TimelineGeometry, FramesAndPoints) {
  TimelineGeometry g = geometry(300, 2);
  g.scrollFrame = 10.5;
  g.framesPerPoint = 1;
  struct Case {
    double x;
    int64_t frame;
  };
  for (const Case& c : {Case{-50, 0}, Case{0, 11}, Case{-10.5, 0}, Case{1e6, 48000}, Case{47989.4, 48000},
                        Case{47988.4, 47999}, Case{std::nan(""), 0}})
    EXPECT_EQ(g.clampedFrame(c.x), c.frame) << c.x;
  EXPECT_DOUBLE_EQ(g.x(20.5), 10);
  EXPECT_DOUBLE_EQ(g.frame(10), 20.5);

  struct Line {
    double x, line;
  };
  for (const Line& c : {Line{10.49, 10.5}, Line{10.5, 11.5}, Line{-0.5, -0.5}, Line{-1.5, -1.5}, Line{0, 0.5}})
    EXPECT_DOUBLE_EQ(TimelineGeometry::lineX(c.x), c.line) << c.x;
}

TEST(TimelineGeometry, EnvelopeBandMapsGains) {
  TimelineGeometry g = geometry(400, 2, true, 130);  // loudness lane [270, 400]
  g.envelopeRangeDB = 12;
  const QRectF band = g.envelopeBand();
  EXPECT_EQ(band, QRectF(0, 288, 500, 106));
  EXPECT_DOUBLE_EQ(g.envelopeY(12), band.top());
  EXPECT_DOUBLE_EQ(g.envelopeY(24), band.top());
  EXPECT_DOUBLE_EQ(g.envelopeY(0), band.center().y());
  EXPECT_DOUBLE_EQ(g.envelopeY(-30), band.bottom());
  EXPECT_DOUBLE_EQ(g.envelopeDB(band.center().y() - band.height() / 4), 6);
  EXPECT_GT(g.envelopeDB(band.top() - 10), 12);
  EXPECT_DOUBLE_EQ(g.envelopeDB(-1000), 24);
  EXPECT_DOUBLE_EQ(g.envelopeDB(5000), -60);

  g.height = 100;  // the band keeps its minimum height
  EXPECT_EQ(g.envelopeBand().height(), 46);
}
