#include <gtest/gtest.h>

#include <QTimer>

#include <cmath>
#include <set>
#include <vector>

#include "AppTestSupport.h"
#include "editor/EditorModel.h"
#include "platform/NullAudioBackend.h"

using quar::AudioContent;
using quar::FrameRange;

namespace {

// 0.5 on every sample for `loudFrames` frames, silence after.
AudioContent level(int64_t frames, int64_t loudFrames, float value = 0.5f, int channels = 2) {
  std::vector<std::vector<float>> samples(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (auto& channel : samples) std::fill_n(channel.begin(), std::min(loudFrames, frames), value);
  return AudioContent(samples, 48000);
}

} // namespace

class EditorModelTransportTest : public AppTest {
protected:
  void TearDown() override {
    device().setSupportedRates(std::nullopt);
    device().setOutputLatency(0);
  }
  static NullAudioBackend& device() { return dynamic_cast<NullAudioBackend&>(AudioBackend::shared()); }
  // One transport tick after `frames` more frames were played.
  static void tickAfter(EditorModel& model, int64_t frames) {
    device().pump(frames);
    model.transportTick();
  }
};

TEST_F(EditorModelTransportTest, PlayChoosesRangeAndStart) {
  struct Case {
    const char* name;
    int64_t cursor;
    std::optional<FrameRange> selection;
    bool selectionOnly;
    bool looping;
    FrameRange range;
    int64_t start;
  };
  const Case cases[] = {
      {"cursor", 100, std::nullopt, false, false, {0, 1000}, 100},
      {"cursor on the last frame", 999, std::nullopt, false, false, {0, 1000}, 0},
      {"cursor at the end", 1000, std::nullopt, false, false, {0, 1000}, 0},
      {"selection to the end", 0, FrameRange(200, 300), false, false, {0, 1000}, 200},
      {"selection only", 0, FrameRange(200, 300), true, false, {200, 300}, 200},
      {"looped selection", 0, FrameRange(200, 300), false, true, {200, 300}, 200},
  };
  for (const Case& c : cases) {
    EditorModel model(level(1000, 1000), std::nullopt);
    model.setCursor(c.cursor);
    model.setSelection(c.selection);
    model.transport().setIsLooping(c.looping);
    model.play(c.selectionOnly);
    ASSERT_TRUE(model.transport().isPlaying()) << c.name;
    const PlaybackProgram program = model.transport().player().program();
    EXPECT_EQ(program.range, c.range) << c.name;
    EXPECT_EQ(program.loop, c.looping) << c.name;
    EXPECT_EQ(model.transport().player().position(), c.start) << c.name;
    EXPECT_EQ(model.transport().playOrigin(), c.start) << c.name;
    EXPECT_EQ(model.transport().playhead(), c.start) << c.name;
  }
}

TEST_F(EditorModelTransportTest, PlayingRunsTheTransportTimer) {
  EditorModel model(level(1000, 1000), std::nullopt);
  model.transport().setMeter(MeterReading{{-3, -3}, {-3, -3}, {-3, -3}, -20, -20, -20});
  model.play(false);
  ASSERT_TRUE(model.transport().timer());
  EXPECT_TRUE(model.transport().timer()->isActive());
  EXPECT_EQ(model.transport().timer()->interval(), 33);
  EXPECT_EQ(model.transport().timer()->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(model.transport().meter(), MeterReading::resting(2));
  EXPECT_TRUE(model.transport().player().isRunning());
  model.stop(false);
  EXPECT_FALSE(model.transport().timer()->isActive());
  EXPECT_FALSE(model.transport().player().isRunning());
}

TEST_F(EditorModelTransportTest, PlayRefusesAnEmptyDocumentAndReportsDeviceFailures) {
  EditorModel empty(AudioContent(2, 48000), std::nullopt);
  empty.play(false);
  EXPECT_FALSE(empty.transport().isPlaying());

  EditorModel model(level(1000, 1000), std::nullopt);
  std::exception_ptr reported;
  model.setPresentError([&](std::exception_ptr error) { reported = error; });
  device().setSupportedRates(std::set<double>{});
  model.play(false);
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_FALSE(model.transport().timer());
  ASSERT_TRUE(reported);
  try {
    std::rethrow_exception(reported);
  } catch (const quar::QuarError& error) {
    EXPECT_EQ(error.errorDescription(), "Unsupported format: playback format 48000.0 Hz");
  }
}

TEST_F(EditorModelTransportTest, TheEndOfTheRangeStopsAndReturnsToTheOrigin) {
  EditorModel model(level(2000, 2000), std::nullopt);
  model.setCursor(500);
  model.play(false);
  tickAfter(model, 1024);
  EXPECT_EQ(model.transport().playhead(), 1524);
  EXPECT_TRUE(model.transport().isPlaying());
  tickAfter(model, 1024);
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_EQ(model.transport().playhead(), 500);
  EXPECT_EQ(model.cursor(), 500);
  EXPECT_FALSE(model.transport().timer()->isActive());
}

TEST_F(EditorModelTransportTest, AnOutputThatStopsOnItsOwnEndsPlaybackWhereItsAudioStopped) {
  device().setOutputLatency(0.01);  // 480 frames
  EditorModel model(level(100000, 100000), std::nullopt);
  model.setCursor(1000);
  model.play(false);
  tickAfter(model, 4096);
  device().endOutputStreams();  // the device goes away
  tickAfter(model, 4096);
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_FALSE(model.transport().timer()->isActive());
  EXPECT_EQ(model.transport().playhead(), 1000 + 4096 - 480);
  EXPECT_EQ(model.cursor(), 1000 + 4096 - 480);
  EXPECT_EQ(model.transport().meter(), MeterReading::resting(2));
  // The next play opens the output again and goes on from there.
  model.play(false);
  ASSERT_TRUE(model.transport().isPlaying());
  EXPECT_TRUE(model.transport().player().isRunning());
  tickAfter(model, 1024);
  EXPECT_EQ(model.transport().playhead(), 1000 + 4096 - 480 + 1024 - 480);
  model.stop(false);
}

TEST_F(EditorModelTransportTest, StopKeepsThePositionWithoutASelection) {
  EditorModel model(level(10000, 10000), std::nullopt);
  model.play(false);
  tickAfter(model, 1000);
  model.togglePlayback();
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_EQ(model.cursor(), 1000);
  EXPECT_EQ(model.transport().playhead(), 1000);

  model.setSelection(FrameRange(3000, 4000));
  model.togglePlayback();
  ASSERT_TRUE(model.transport().isPlaying());
  tickAfter(model, 512);
  model.stop(true);
  EXPECT_EQ(model.cursor(), 1000);
  EXPECT_EQ(model.transport().playhead(), 3512);
}

TEST_F(EditorModelTransportTest, GoToStartAndEnd) {
  EditorModel model(level(100000, 0), std::nullopt);
  model.viewport().setScrollFrame(500);
  model.setSelection(FrameRange(100, 200));
  model.play(false);
  model.goToEnd();
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_FALSE(model.selection());
  EXPECT_EQ(model.cursor(), 100000);
  model.play(false);
  EXPECT_EQ(model.transport().playhead(), 0);  // from the end, playback starts again at 0
  model.goToStart();
  EXPECT_FALSE(model.transport().isPlaying());
  EXPECT_EQ(model.cursor(), 0);
  EXPECT_EQ(model.viewport().scrollFrame(), 0);
}

TEST_F(EditorModelTransportTest, SeekWhilePlayingMovesPlayback) {
  EditorModel model(level(100000, 0), std::nullopt);
  model.play(false);
  tickAfter(model, 512);
  model.seek(50000);
  EXPECT_EQ(model.transport().playhead(), 50000);
  tickAfter(model, 512);
  EXPECT_EQ(model.transport().playhead(), 50512);
}

TEST_F(EditorModelTransportTest, ThePlayheadFollowsWithLatencyAndPagesTheView) {
  device().setOutputLatency(0.01);  // 480 frames
  EditorModel model(level(48000, 0), std::nullopt);
  model.viewport().setFramesPerPoint(1);  // 800 frames in view
  model.play(false);
  tickAfter(model, 1024);
  EXPECT_EQ(model.transport().playhead(), 1024 - 480);
  EXPECT_EQ(model.viewport().scrollFrame(), 0);
  tickAfter(model, 512);
  EXPECT_EQ(model.transport().playhead(), 1536 - 480);
  EXPECT_EQ(model.viewport().scrollFrame(), 1056 - 40);  // the playhead 5 % from the left edge
}

TEST_F(EditorModelTransportTest, AMasterEnvelopeLowersTheMeters) {
  EditorModel plain(level(48000, 48000), std::nullopt);
  EditorModel enveloped(level(48000, 48000), std::nullopt);
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(0, -6);
  enveloped.setEnvelopes(envelopes);
  plain.play(false);
  enveloped.play(false);
  device().pump(24000);  // both play on
  plain.transportTick();
  enveloped.transportTick();
  const MeterReading& a = plain.transport().meter();
  const MeterReading& b = enveloped.transport().meter();
  EXPECT_NEAR(a.peakDB[0], 20 * std::log10(0.5), 1e-6);
  EXPECT_NEAR(b.peakDB[0], a.peakDB[0] - 6, 1e-9);
  EXPECT_NEAR(b.rmsDB[1], a.rmsDB[1] - 6, 1e-9);
  EXPECT_NEAR(b.momentaryLUFS, a.momentaryLUFS - 6, 1e-9);
  EXPECT_NEAR(b.shortTermLUFS, a.shortTermLUFS - 6, 1e-9);
}

TEST_F(EditorModelTransportTest, DigitalSilenceReadsLowerThanAnEmptyWindow) {
  EditorModel model(level(48000, 0), std::nullopt);
  model.play(false);
  for (int i = 0; i < 40; ++i) model.transportTick();  // the playhead at 0: nothing to measure
  EXPECT_EQ(model.transport().meter().peakDB[0], -120);
  EXPECT_EQ(model.transport().meter().rmsDB[0], -120);
  EXPECT_EQ(model.transport().meter().momentaryLUFS, -120);
  device().pump(4800);
  for (int i = 0; i < 40; ++i) model.transportTick();
  EXPECT_EQ(model.transport().meter().peakDB[0], -144);
  EXPECT_EQ(model.transport().meter().rmsDB[1], -144);
}

TEST_F(EditorModelTransportTest, APlayheadBeyondShorterContentMetersNothing) {
  EditorModel model(level(100000, 100000), std::nullopt);
  model.play(false);
  device().pump(60000);
  model.setContent(level(10000, 10000));  // playback still has the longer audio
  model.transportTick();
  EXPECT_EQ(model.transport().playhead(), 60000);
  EXPECT_EQ(model.transport().meter().peakDB[0], -120);
}

TEST_F(EditorModelTransportTest, PeaksFallAndHoldsDrop) {
  EditorModel model(level(48000, 4800, 1.0f), std::nullopt);
  model.play(false);
  tickAfter(model, 2400);  // tick 0: the loud part
  EXPECT_EQ(model.transport().meter().peakDB[0], 0);
  EXPECT_EQ(model.transport().meter().holdDB[0], 0);
  tickAfter(model, 4800);  // tick 1: silence from here on
  EXPECT_NEAR(model.transport().meter().peakDB[0], -2.0 / 3, 1e-12);
  model.transportTick();
  EXPECT_NEAR(model.transport().meter().peakDB[0], -4.0 / 3, 1e-12);
  for (int tick = 3; tick < 45; ++tick) model.transportTick();
  EXPECT_EQ(model.transport().meter().holdDB[0], 0);
  model.transportTick();  // tick 45
  EXPECT_EQ(model.transport().meter().holdDB[0], -0.5);
  for (int tick = 46; tick < 90; ++tick) model.transportTick();
  EXPECT_EQ(model.transport().meter().holdDB[0], -0.5);
  model.transportTick();  // tick 90
  EXPECT_EQ(model.transport().meter().holdDB[1], -1);
}

TEST_F(EditorModelTransportTest, LoopingInsideTheViewLeavesItStill) {
  struct Case {
    const char* name;
    double scrollFrame;
    FrameRange loop;
  };
  // 8000 frames in view, paged once the playhead passes 95 % of it.
  const Case cases[] = {
      {"the loop ends in the view's last twentieth", 0, {1000, 7900}},
      {"the loop fills the view", 2000, {2000, 10000}},
      {"the loop is wider than the view", 0, {500, 9500}},
      {"the loop fits but ends outside the view", 0, {6000, 9000}},
  };
  for (const Case& c : cases) {
    EditorModel model(level(48000, 0), std::nullopt);
    model.viewport().setFramesPerPoint(10);
    model.viewport().setScrollFrame(c.scrollFrame);
    model.setSelection(c.loop);
    model.transport().setIsLooping(true);
    model.play(false);
    const double visible = model.viewport().viewWidth() * model.viewport().framesPerPoint();
    const auto inView = [&](double frame) {
      return model.viewport().scrollFrame() <= frame && frame <= model.viewport().scrollFrame() + visible;
    };
    std::vector<double> scrolls;
    for (int tick = 0; tick < 60; ++tick) {  // several passes
      tickAfter(model, 1000 + tick % 3);
      ASSERT_TRUE(model.transport().isPlaying()) << c.name;
      ASSERT_TRUE(c.loop.contains(model.transport().playhead())) << c.name << ", tick " << tick;
      EXPECT_TRUE(inView(static_cast<double>(model.transport().playhead()))) << c.name << ", tick " << tick;
      scrolls.push_back(model.viewport().scrollFrame());
    }
    const bool fits = static_cast<double>(c.loop.count()) <= visible;
    if (c.scrollFrame <= static_cast<double>(c.loop.lowerBound) &&
        static_cast<double>(c.loop.upperBound) <= c.scrollFrame + visible) {
      for (const double scroll : scrolls) EXPECT_EQ(scroll, c.scrollFrame) << c.name;
    } else if (fits) {
      // Paged once the playhead came back to the loop's start, and still from then on.
      EXPECT_TRUE(inView(static_cast<double>(c.loop.lowerBound)) && inView(static_cast<double>(c.loop.upperBound)))
          << c.name;
      EXPECT_EQ(scrolls[20], scrolls.back()) << c.name;
    } else {
      EXPECT_GT(std::set<double>(scrolls.begin(), scrolls.end()).size(), 1u) << c.name;  // the view follows
    }
  }
}
