#include <gtest/gtest.h>

#include "RecordingTestSupport.h"
#include "base/QuarError.h"
#include "recording/InputEngine.h"
#include "recording/InputMonitor.h"

using RecordingTestSupport::counting;
using RecordingTestSupport::steady;

namespace {

// The value of channel c at frame n of the counting signal.
float countingSample(int64_t n, int c) { return static_cast<float>(n % 1000) / 1000 + static_cast<float>(c) / 10000; }

} // namespace

TEST(InputEngineTest, PrepareFindsTheDeviceAndRefusesOneThatDeliversNoAudio) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  InputEngine engine(backend);
  const InputEngine::Format format = engine.prepare(std::nullopt);  // the default input
  EXPECT_EQ(format.sampleRate, 48000);
  EXPECT_EQ(format.channels, 2);
  EXPECT_THROW(engine.prepare(7), std::runtime_error);
  backend.setInput(2, 0);
  try {
    engine.prepare(1);
    FAIL();
  } catch (const quar::QuarError& error) {
    EXPECT_EQ(error.errorDescription(), "Unsupported format: the input device isn\u2019t delivering audio");
  }
  EXPECT_THROW(engine.start(std::make_shared<TakeBuffer>(std::vector<int>{0}, 1, 48000)), std::runtime_error);
  EXPECT_FALSE(engine.isRunning());
}

TEST(InputEngineTest, EveryDeliveredFrameReachesTheTake) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  backend.setBufferFrames(300);
  backend.setInputSource(counting());
  InputEngine engine(backend);
  engine.prepare(1);
  auto buffer = std::make_shared<TakeBuffer>(std::vector<int>{1, 0}, 2, 48000);
  engine.start(buffer);
  backend.pump(1000);  // meters only
  engine.drain();
  EXPECT_NEAR(buffer->takeMeters().peaks[0], countingSample(999, 1), 1e-6);
  buffer->beginCapture(std::nullopt);
  backend.pump(10000);
  engine.drain();
  EXPECT_EQ(buffer->captured(), 10000);
  backend.pump(2345);
  engine.stop();  // stopping ingests what was delivered
  EXPECT_EQ(buffer->captured(), 12345);
  const quar::AudioContent take = *buffer->endCapture();
  ASSERT_EQ(take.frameCount(), 12345);
  for (int64_t f : {int64_t{0}, int64_t{4567}, int64_t{12344}}) {
    EXPECT_FLOAT_EQ(take.sample(0, f), countingSample(1000 + f, 1));
    EXPECT_FLOAT_EQ(take.sample(1, f), countingSample(1000 + f, 0));
  }
  EXPECT_EQ(engine.droppedFrames(), 0);
}

TEST(InputEngineTest, FramesThatDoNotFitTheRingAreCounted) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  const int64_t capacity = InputEngine::ringFrames(48000, 2);
  backend.setBufferFrames(static_cast<int>(capacity + 1000));  // one block larger than the ring
  InputEngine engine(backend);
  engine.prepare(1);
  auto buffer = std::make_shared<TakeBuffer>(std::vector<int>{0, 1}, 2, 48000);
  buffer->beginCapture(std::nullopt);
  engine.start(buffer);
  backend.pump(capacity + 1000);
  engine.drain();
  EXPECT_EQ(engine.droppedFrames(), 1000);
  EXPECT_EQ(buffer->captured(), capacity);
  engine.stop();
  EXPECT_EQ(engine.droppedFrames(), 0);  // counted per opened input
}

TEST(InputEngineTest, RingSizes) {
  EXPECT_EQ(InputEngine::ringFrames(48000, 2), 96000);
  EXPECT_EQ(InputEngine::ringFrames(8000, 1), 16384);
  EXPECT_EQ(InputEngine::ringFrames(192000, 128), 32768);  // 16 MB of samples at most
}

TEST(InputEngineTest, MonitoringOpensAnOutputOnlyWhileOn) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  InputEngine engine(backend);
  engine.setMonitoring(true);  // not running: nothing
  EXPECT_EQ(backend.outputStreamsOpened(), 0);
  engine.prepare(1);
  engine.start(std::make_shared<TakeBuffer>(std::vector<int>{0, 1}, 2, 48000));
  EXPECT_FALSE(engine.isMonitoring());
  engine.setMonitoring(true);
  EXPECT_TRUE(engine.isMonitoring());
  EXPECT_EQ(backend.outputStreamsOpened(), 1);
  backend.pump(2048);
  engine.setMonitoring(false);
  EXPECT_FALSE(engine.isMonitoring());
  engine.stop();
}

TEST(InputMonitorTest, PlaysTheRecordedInputsOnTheSpeakersWithLittleDelay) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  InputMonitor monitor(backend, 48000, {1, 2});
  std::vector<float> a(100, 0.25f), b(100, 0.5f), c(100, 0.75f);
  const float* device[3] = {a.data(), b.data(), c.data()};
  monitor.push(device, 3, 100);  // not running: dropped
  std::vector<float> left(150, 9), right(150, 9);
  float* speakers[2] = {left.data(), right.data()};
  monitor.start();
  monitor.pull(speakers, 2, 150);
  EXPECT_EQ(left[0], 0);  // nothing waiting: silence

  monitor.push(device, 3, 100);
  monitor.pull(speakers, 2, 150);
  EXPECT_EQ(left[99], 0.5f);
  EXPECT_EQ(right[99], 0.75f);
  EXPECT_EQ(left[100], 0);  // then silence

  float* mono[1] = {left.data()};
  monitor.push(device, 3, 100);
  monitor.pull(mono, 1, 100);
  EXPECT_EQ(left[0], 0.625f);  // two inputs on one speaker: their mean

  // Far more than the allowed delay waiting: the oldest is skipped.
  std::vector<float> ramp(20000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
  const float* rampDevice[3] = {ramp.data(), ramp.data(), ramp.data()};
  monitor.push(rampDevice, 3, 20000);
  monitor.pull(speakers, 2, 100);
  EXPECT_GE(left[0], 20000 - 100 - 48000 * 0.03 - 1);
  EXPECT_EQ(left[99], left[0] + 99);
  monitor.stop();
}

TEST(InputMonitorTest, AnOutputRefusingTheInputRateGetsAConverter) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  backend.setSupportedRates(std::set<double>{48000});
  InputMonitor monitor(backend, 44100, {0});
  monitor.start();
  EXPECT_TRUE(monitor.isRunning());
  EXPECT_EQ(backend.outputStreamsOpened(), 1);
  std::vector<float> input(4410, 0.5f);
  const float* device[1] = {input.data()};
  monitor.push(device, 1, 4410);
  backend.pump(4800);
  monitor.stop();
  EXPECT_FALSE(monitor.isRunning());
}

TEST(InputEngineTest, ASteadyInputShowsOnTheMeters) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  backend.setInputSource(steady(0.25f));
  InputEngine engine(backend);
  engine.prepare(std::nullopt);
  auto buffer = std::make_shared<TakeBuffer>(std::vector<int>{0, 1}, 2, 48000);
  engine.start(buffer);
  backend.pump(512);
  engine.drain();
  EXPECT_EQ(buffer->takeMeters().peaks, (std::vector<float>{0.25f, 0.5f}));
}
