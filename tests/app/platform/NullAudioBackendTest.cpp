#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/QuarError.h"
#include "platform/NullAudioBackend.h"

TEST(NullAudioBackendTest, ListsOneOutputAndOneInput) {
  NullAudioBackend backend;
  const std::vector<AudioDeviceInfo> devices = backend.devices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(backend.outputDevice()->name, "Null Output");
  EXPECT_EQ(devices[*backend.defaultInputDevice()].inputChannels, 2);
  EXPECT_EQ(devices[*backend.defaultOutputDevice()].defaultSampleRate, 48000);
}

TEST(NullAudioBackendTest, PumpRendersOnTheStreamsOwnThread) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  backend.setBufferFrames(512);
  std::vector<int> calls;
  std::thread::id renderThread;
  auto stream = backend.openOutput({std::nullopt, 2, 44100}, [&](float* const* outputs, int channels, int frames) {
    EXPECT_EQ(channels, 2);
    outputs[1][frames - 1] = 1;
    calls.push_back(frames);
    renderThread = std::this_thread::get_id();
  });
  backend.pump(1000);  // not started: nothing
  EXPECT_TRUE(calls.empty());
  stream->start();
  backend.pump(1000);
  EXPECT_EQ(calls, (std::vector<int>{512, 488}));
  EXPECT_NE(renderThread, std::this_thread::get_id());
  stream->stop();
  EXPECT_FALSE(stream->isRunning());
  backend.pump(1000);
  EXPECT_EQ(calls.size(), 2u);
}

TEST(NullAudioBackendTest, InputStreamsCaptureSilence) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  int64_t frames = 0;
  float loudest = 0;
  auto stream = backend.openInput({std::nullopt, 1, 48000}, [&](const float* const* inputs, int channels, int count) {
    EXPECT_EQ(channels, 1);
    for (int i = 0; i < count; ++i) loudest = std::max(loudest, std::abs(inputs[0][i]));
    frames += count;
  });
  stream->start();
  backend.pump(2000);
  EXPECT_EQ(frames, 2000);
  EXPECT_EQ(loudest, 0);
}

TEST(NullAudioBackendTest, TheRealTimeClockRunsByItself) {
  NullAudioBackend backend;
  std::atomic<int> calls = 0;
  auto stream = backend.openOutput({std::nullopt, 2, 48000}, [&](float* const*, int, int) { ++calls; });
  stream->start();
  backend.pump(100000);  // a real-time stream takes no pumping
  while (calls < 3) std::this_thread::yield();
  stream->stop();
  const int stopped = calls;
  backend.pump(512);
  EXPECT_EQ(calls, stopped);
}

TEST(NullAudioBackendTest, RefusedFormats) {
  NullAudioBackend backend;
  backend.setSupportedRates(std::set<double>{48000});
  EXPECT_TRUE(backend.supportsOutput({std::nullopt, 2, 48000}));
  for (const AudioStreamFormat& format : {AudioStreamFormat{std::nullopt, 2, 44100}, AudioStreamFormat{std::nullopt, 3, 48000},
                                          AudioStreamFormat{1, 2, 48000}}) {
    EXPECT_FALSE(backend.supportsOutput(format));
    EXPECT_THROW(backend.openOutput(format, [](float* const*, int, int) {}), quar::QuarError);
  }
  EXPECT_EQ(backend.outputStreamsOpened(), 0);
}

TEST(NullAudioBackendTest, AnOutputStreamCanStopOnItsOwn) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  int rendered = 0;
  int64_t captured = 0;
  auto output =
      backend.openOutput({std::nullopt, 2, 48000}, [&](float* const*, int, int frames) { rendered += frames; });
  auto input =
      backend.openInput({std::nullopt, 2, 48000}, [&](const float* const*, int, int frames) { captured += frames; });
  output->start();
  input->start();
  backend.pump(1024);
  backend.endOutputStreams();
  backend.pump(1024);
  EXPECT_EQ(rendered, 1024);
  EXPECT_EQ(captured, 2048);  // inputs go on
  EXPECT_TRUE(output->stoppedOnItsOwn());
  EXPECT_FALSE(output->isRunning());
  EXPECT_FALSE(input->stoppedOnItsOwn());
  output->stop();
  EXPECT_FALSE(output->stoppedOnItsOwn());
}

TEST(NullAudioBackendTest, AConnectedInputIsListedByARefreshWithNoStreamOpen) {
  NullAudioBackend backend(NullAudioBackend::Clock::manual);
  backend.connectInput(6, 96000);
  auto stream = backend.openOutput({std::nullopt, 2, 48000}, [](float* const*, int, int) {});
  backend.refreshDevices();
  EXPECT_EQ(backend.devices()[1].inputChannels, 2);
  stream.reset();
  backend.refreshDevices();
  EXPECT_EQ(backend.devices()[1].inputChannels, 6);
  EXPECT_EQ(backend.devices()[1].defaultSampleRate, 96000);
  EXPECT_EQ(backend.refreshes(), 2);
}
