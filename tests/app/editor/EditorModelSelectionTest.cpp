#include <cmath>
#include <limits>

#include "EditorModelFixture.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

// Two channels of +1 up to `crossing`, then -1.
AudioContent stepDown(int64_t frames, int64_t crossing) {
  std::vector<float> channel(static_cast<size_t>(frames), 1.0f);
  for (int64_t f = crossing; f < frames; ++f) channel[static_cast<size_t>(f)] = -1.0f;
  return AudioContent({channel, channel}, 48000);
}

} // namespace

class EditorModelSelectionTest : public EditorModelFixture {};

TEST_F(EditorModelSelectionTest, SeekClampsAndMovesPlaybackWhilePlaying) {
  auto model = makeModel(numbered(1000));
  model->seek(-5);
  EXPECT_EQ(model->cursor(), 0);
  model->seek(5000);
  EXPECT_EQ(model->cursor(), 1000);

  model->transport().setIsPlaying(true);
  model->seek(400);
  EXPECT_EQ(model->transport().player().position(), 400);
  EXPECT_EQ(model->transport().playhead(), 400);
}

TEST_F(EditorModelSelectionTest, SeekKeepsTheCursorInView) {
  auto model = makeModel(AudioContent::silence(480000, 2, 48000));
  model->viewport().setFramesPerPoint(100);
  model->viewport().setScrollFrame(10000);
  model->seek(50000);  // visible: nothing moves
  EXPECT_EQ(model->viewport().scrollFrame(), 10000);
  model->seek(200000);  // lands 10 % from the left edge
  EXPECT_EQ(model->viewport().scrollFrame(), 200000 - 800 * 100 * 0.1);
}

TEST_F(EditorModelSelectionTest, SetSelectionClampsAndMovesTheCursorToItsStart) {
  auto model = makeModel(numbered(1000, 3));
  model->setActiveChannels({1});
  model->setSelection(FrameRange(10, 20000000), std::nullopt);
  EXPECT_EQ(model->selection(), FrameRange(10, 1000));
  EXPECT_EQ(model->cursor(), 10);
  EXPECT_EQ(model->activeChannels(), std::set<int>{1});

  model->setSelection(FrameRange(-5, 50), std::set<int>{0, 2});
  EXPECT_EQ(model->selection(), FrameRange(0, 50));
  EXPECT_EQ(model->cursor(), 0);
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0, 2}));

  model->setCursor(30);
  model->setSelection(FrameRange(2000, 3000), std::nullopt);  // empty after clamping
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->cursor(), 30);

  model->selectAll();
  EXPECT_EQ(model->selection(), FrameRange(0, 1000));
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0, 1, 2}));
  model->setActiveChannels({2});
  model->selectNone();
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0, 1, 2}));

  auto empty = makeModel(AudioContent(2, 48000));
  empty->setActiveChannels({0});
  empty->selectAll();
  EXPECT_FALSE(empty->selection());
  EXPECT_EQ(empty->activeChannels(), std::set<int>{0});
}

TEST_F(EditorModelSelectionTest, SnapSearchesSixPointsOrAtLeast64Frames) {
  struct Case {
    double framesPerPoint;
    int64_t crossing;
    int64_t expected;
  };
  const Case cases[] = {
      {0.5, 5064, 5064}, {0.5, 5065, 5000}, {0.5, 4937, 4937}, {100, 5600, 5600}, {100, 5601, 5000},
  };
  for (const Case& c : cases) {
    auto model = makeModel(stepDown(10000, c.crossing));
    model->viewport().setFramesPerPoint(c.framesPerPoint);
    model->setSnapToZeroCrossings(false);
    EXPECT_EQ(model->snapped(5000), 5000) << "snapping is off";
    model->setSnapToZeroCrossings(true);
    EXPECT_EQ(model->snapped(5000), c.expected) << c.framesPerPoint << " " << c.crossing;
  }
}

TEST_F(EditorModelSelectionTest, SnapNeverMovesTheEndsAndSurvivesAnyZoom) {
  auto model = makeModel(stepDown(1000, 10));
  model->setSnapToZeroCrossings(true);
  EXPECT_EQ(model->snapped(0), 0);
  EXPECT_EQ(model->snapped(-7), 0);
  EXPECT_EQ(model->snapped(1000), 1000);
  EXPECT_EQ(model->snapped(5000), 1000);
  // However wrong the zoom, the radius stays within [64 frames, the content's length].
  const std::pair<double, int64_t> zooms[] = {
      {std::numeric_limits<double>::infinity(), 10}, {1e300, 10}, {std::numeric_limits<double>::quiet_NaN(), 500}};
  for (const auto& [fpp, expected] : zooms) {
    model->viewport().setFramesPerPoint(fpp);
    EXPECT_EQ(model->snapped(500), expected) << fpp;
  }
}

TEST_F(EditorModelSelectionTest, ZoomKeepsTheAnchorOrCentresItWhenOffScreen) {
  auto model = makeModel(AudioContent::silence(480000, 2, 48000));
  model->viewport().setFramesPerPoint(100);
  model->viewport().setScrollFrame(10000);

  model->zoom(0.5, 50000.0);  // on screen at 400 points: stays there
  EXPECT_EQ(model->viewport().framesPerPoint(), 50);
  EXPECT_EQ(model->viewport().scrollFrame(), 30000);

  model->zoom(4, 400000.0);  // off screen: comes to the middle
  EXPECT_EQ(model->viewport().framesPerPoint(), 200);
  EXPECT_EQ(model->viewport().scrollFrame(), 400000 - 400 * 200);

  model->setCursor(440000);  // default anchor: the cursor, at 600 points
  model->zoom(0.5);
  EXPECT_EQ(model->viewport().framesPerPoint(), 100);
  EXPECT_EQ(model->viewport().scrollFrame(), 440000 - 600 * 100);

  for (double factor : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    model->zoom(factor, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model->viewport().framesPerPoint(), 100) << factor;
  }
  model->zoom(2, std::numeric_limits<double>::infinity());  // no usable anchor: the cursor
  EXPECT_EQ(model->viewport().scrollFrame(), 440000 - 600 * 200);
}

TEST_F(EditorModelSelectionTest, ZoomStopsAtItsLimits) {
  auto model = makeModel(AudioContent::silence(480000, 2, 48000));
  for (int i = 0; i < 30; ++i) model->zoom(0.5);
  EXPECT_EQ(model->viewport().framesPerPoint(), Viewport::minFramesPerPoint);
  for (int i = 0; i < 30; ++i) model->zoom(2);
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 480000.0 / 800 * 1.02);
  EXPECT_EQ(model->viewport().scrollFrame(), 0);
}

TEST_F(EditorModelSelectionTest, ZoomToSelectionCentresItAndScrollMovesByPoints) {
  auto model = makeModel(AudioContent::silence(480000, 2, 48000));
  model->zoomToSelection();  // no selection: nothing
  EXPECT_EQ(model->viewport().framesPerPoint(), 256);

  model->setSelection(FrameRange(100000, 108000), std::nullopt);
  model->zoomToSelection();
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 10.5);
  EXPECT_DOUBLE_EQ(model->viewport().scrollFrame(), 100000 - (800 * 10.5 - 8000) * 0.5);

  model->viewport().scroll(10);
  EXPECT_DOUBLE_EQ(model->viewport().scrollFrame(), 99800 + 105);
  model->viewport().scroll(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(model->viewport().scrollFrame(), 99800 + 105);
  model->viewport().scroll(-1e12);
  EXPECT_EQ(model->viewport().scrollFrame(), 0);
}
