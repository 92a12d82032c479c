#include <QThreadPool>

#include <cmath>
#include <limits>

#include "EditorModelFixture.h"
#include "platform/JobPool.h"

using quar::AudioContent;
using quar::TempoGrid;
using namespace EditorModelFixtureSupport;

namespace {

// Decaying 1 kHz clicks on every beat from frame 0 on, louder on each bar's first beat unless
// `accented` is false.
AudioContent clickTrack(double bpm, double seconds, double rate = 48000, bool accented = true) {
  const auto frames = static_cast<int64_t>(seconds * rate);
  const auto beat = static_cast<int64_t>(std::llround(rate * 60 / bpm));
  std::vector<float> samples(static_cast<size_t>(frames));
  for (int64_t start = 0, index = 0; start < frames; start += beat, ++index) {
    const float level = index % 4 == 0 || !accented ? 1.0f : 0.5f;
    for (int64_t i = 0; i < 2400 && start + i < frames; ++i) {
      const double t = static_cast<double>(i);
      samples[static_cast<size_t>(start + i)] =
          level * static_cast<float>(std::exp(-t / 300) * std::sin(2 * M_PI * 1000 * t / rate));
    }
  }
  return AudioContent({samples, samples}, rate);
}

} // namespace

class EditorModelTempoTest : public EditorModelFixture {
protected:
  // Taps at the given clock readings (seconds).
  void tap(EditorModel& model, std::initializer_list<double> times) {
    for (double t : times) {
      now = t;
      model.tempo().tapTempo();
    }
  }
  std::unique_ptr<EditorModel> tappingModel() {
    auto model = makeModel(numbered(100));
    model->tempo().setClock([this] { return now; });
    return model;
  }

  double now = 0;
};

TEST_F(EditorModelTempoTest, TapsGiveTheMeanIntervalOfTheLastEight) {
  struct Case {
    std::vector<double> taps;
    double bpm;
  };
  const Case cases[] = {
      {{0, 0.5, 1.0, 1.5}, 120.0},
      {{0, 0.5, 1.0, 1.5, 4.0}, 120.0},  // a pause over 2 s restarts the count: unchanged
      {{0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5}, 120.0},
      {{10, 10.2, 10.4, 10.6}, 300.0},
      {{10, 10.1, 10.2, 10.3}, 600.0},  // not held within [20, 400]
      {{0, 0.4, 0.8, 1.9}, 94.7},       // 60 / (1.9 / 3), to a tenth
      {{0, 0.8, 1.7, 2.5, 3.3, 3.8, 4.6, 5.2, 6.0, 6.9}, 80.8},  // the last eight: 5.2 s over 7
  };
  for (const Case& c : cases) {
    auto model = tappingModel();
    model->tempo().setTempoConfidence(0.8);
    for (double t : c.taps) tap(*model, {t});
    EXPECT_EQ(model->tempo().grid().bpm, c.bpm) << c.taps.size() << " taps from " << c.taps.front();
    EXPECT_FALSE(model->tempo().tempoConfidence());
    EXPECT_TRUE(model->tempo().showGrid());
    EXPECT_LE(model->tempo().taps().size(), 8u);
  }
}

TEST_F(EditorModelTempoTest, AFirstTapOrAnEmptySpanLeavesTheGrid) {
  auto model = tappingModel();
  model->tempo().setGrid(TempoGrid(90, 3, 1000));
  tap(*model, {5});
  tap(*model, {5, 5});      // no time between taps
  tap(*model, {4.5});       // a clock that went back
  tap(*model, {std::numeric_limits<double>::quiet_NaN()});
  EXPECT_EQ(model->tempo().grid(), TempoGrid(90, 3, 1000));
  EXPECT_FALSE(model->tempo().showGrid());
  tap(*model, {5.5});  // 5, 5, 5, 4.5, 5.5: 0.5 s over 4 intervals
  EXPECT_EQ(model->tempo().grid().bpm, 480);
  EXPECT_EQ(model->tempo().grid().beatsPerBar, 3);
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 1000);
}

TEST_F(EditorModelTempoTest, DetectedTempoIsRoundedToHundredthsAndHeldInRange) {
  struct Case {
    double bpm;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {119.996, 120.0}, {87.654, 87.65}, {12, 20}, {512, 400}, {0, std::nullopt}, {-90, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt}, {std::numeric_limits<double>::infinity(), std::nullopt},
  };
  for (const Case& c : cases) {
    const quar::TempoEstimate estimate{c.bpm, 1234, 1000, 0.7};
    const std::optional<TempoGrid> grid = Tempo::detectedGrid(estimate, 0);
    ASSERT_EQ(grid.has_value(), c.expected.has_value()) << c.bpm;
    if (!grid) continue;
    EXPECT_EQ(grid->bpm, *c.expected) << c.bpm;
    EXPECT_EQ(grid->beatsPerBar, 1);
    EXPECT_EQ(grid->downbeatFrame, 1234);
  }
}

TEST_F(EditorModelTempoTest, DetectionSetsTheGridFromTheAudio) {
  auto model = makeModel(clickTrack(120, 12));
  model->tempo().setGrid(TempoGrid(90, 3, 0));
  model->tempo().detectTempo(model->content(), model->envelopes());
  EXPECT_TRUE(model->tempo().isDetectingTempo());
  model->tempo().detectTempo(model->content(), model->envelopes());  // ignored while one runs
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model->tempo().isDetectingTempo(); }, 60000));
  EXPECT_NEAR(model->tempo().grid().bpm, 120, 0.5);
  EXPECT_EQ(model->tempo().grid().beatsPerBar, 3);
  EXPECT_TRUE(model->tempo().tempoConfidence());
  EXPECT_TRUE(model->tempo().showGrid());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelTempoTest, BarOneFallsOnTheFirstClickOfAFile) {
  for (const double bpm : {100.0, 120.0}) {
    for (const bool accented : {false, true}) {
      SCOPED_TRACE(testing::Message() << bpm << " BPM, accented " << accented);
      auto model = makeModel(clickTrack(bpm, 12, 48000, accented));
      model->tempo().detectTempo(model->content(), model->envelopes());
      ASSERT_TRUE(QTest::qWaitFor([&] { return !model->tempo().isDetectingTempo(); }, 60000));
      EXPECT_NEAR(model->tempo().grid().bpm, bpm, 0.5);
      // The first click is at frame 0: bar 1 there, not on the second click one beat later.
      EXPECT_LE(model->tempo().grid().downbeatFrame, 0.02 * 48000);
    }
  }
}

TEST_F(EditorModelTempoTest, ACancelledDetectionSetsNothing) {
  auto model = makeModel(clickTrack(120, 60));
  model->tempo().setGrid(TempoGrid(90, 3, 500));
  model->tempo().detectTempo(model->content(), model->envelopes());
  ASSERT_TRUE(model->tempo().isDetectingTempo());
  model->cancelBackgroundWork();  // the document closes
  EXPECT_FALSE(model->tempo().isDetectingTempo());
  JobPool::userInitiated().waitForDone();
  QCoreApplication::processEvents();
  EXPECT_EQ(model->tempo().grid(), TempoGrid(90, 3, 500));
  EXPECT_FALSE(model->tempo().showGrid());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
  // A new detection after it runs as usual.
  model->tempo().detectTempo(model->content(), model->envelopes());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model->tempo().isDetectingTempo(); }, 60000));
  EXPECT_NEAR(model->tempo().grid().bpm, 120, 0.5);
}

TEST_F(EditorModelTempoTest, DetectionWithoutAResultBeeps) {
  auto empty = makeModel(AudioContent(2, 48000));
  empty->tempo().detectTempo(empty->content(), empty->envelopes());
  EXPECT_FALSE(empty->tempo().isDetectingTempo());

  auto model = makeModel(clickTrack(120, 0.3));
  model->tempo().detectTempo(model->content(), model->envelopes());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model->tempo().isDetectingTempo(); }, 60000));
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  EXPECT_EQ(model->tempo().grid(), TempoGrid(120, 4, 0));
  EXPECT_FALSE(model->tempo().showGrid());
}

TEST_F(EditorModelTempoTest, ScalingHoldsTheTempoInRange) {
  auto model = makeModel(numbered(100));
  const std::tuple<double, double, double> cases[] = {{300, 2, 400}, {30, 0.5, 20}, {120, 0.5, 60}};
  for (const auto& [from, factor, to] : cases) {
    model->tempo().setGrid(TempoGrid(from, 4, 0));
    model->tempo().setTempoConfidence(0.9);
    model->tempo().scaleTempo(factor);
    EXPECT_EQ(model->tempo().grid().bpm, to);
    EXPECT_FALSE(model->tempo().tempoConfidence());
    EXPECT_FALSE(model->tempo().showGrid());
  }
  for (double factor : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    model->tempo().scaleTempo(factor);
    EXPECT_EQ(model->tempo().grid().bpm, 60) << factor;
  }
}

TEST_F(EditorModelTempoTest, TheGridRefusesATempoItCannotDivideBy) {
  auto model = makeModel(numbered(100));
  TempoGrid typed = model->tempo().grid();
  for (double bpm : {0.0, -120.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    typed.bpm = bpm;
    model->tempo().setGrid(typed);
    EXPECT_EQ(model->tempo().grid().bpm, 120) << bpm;
  }
  typed.bpm = 133.5;
  typed.beatsPerBar = 0;
  model->tempo().setGrid(typed);
  EXPECT_EQ(model->tempo().grid(), TempoGrid(120, 4, 0));
  typed.beatsPerBar = 7;
  model->tempo().setGrid(typed);
  EXPECT_EQ(model->tempo().grid(), TempoGrid(133.5, 7, 0));
}

TEST_F(EditorModelTempoTest, BarOneGoesToThePlayheadTheSelectionOrTheCursor) {
  auto model = makeModel(numbered(1000));
  model->setCursor(10);
  model->setDownbeatAtCursor();
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 10);
  EXPECT_TRUE(model->tempo().showGrid());
  model->setSelection(quar::FrameRange(200, 300), std::nullopt);
  model->setCursor(250);
  model->setDownbeatAtCursor();
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 200);
  model->transport().setIsPlaying(true);
  model->transport().setPlayhead(777);
  model->setDownbeatAtCursor();
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 777);
}
