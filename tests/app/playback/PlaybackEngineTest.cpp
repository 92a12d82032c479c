#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "PlaybackTestSupport.h"
#include "support/AllocationCounting.h"
#include "base/QuarError.h"
#include "platform/NullAudioBackend.h"
#include "playback/PlaybackEngine.h"
#include "playback/RenderSlice.h"

using namespace PlaybackTestSupport;
using quar::testing::AllocationCounts;
using quar::testing::countsOnThisThread;
using quar::AudioContent;
using quar::FrameRange;

namespace {

class PlaybackEngineTest : public testing::Test {
protected:
  NullAudioBackend backend{NullAudioBackend::Clock::manual};
};

AudioContent tone(int64_t frames, double rate, int channels = 2) {
  return makeContent(channels, frames, [](int, int64_t f) { return static_cast<float>(std::sin(f * 0.05) * 0.5); }, rate);
}

// The render thread's allocation counts, read at every block of the preview chain.
struct RenderThreadProbe {
  void record() {
    const AllocationCounts now = countsOnThisThread();
    std::lock_guard lock(mutex);
    if (!first) first = now;
    last = now;
    ++blocks;
  }
  AllocationCounts delta() {
    std::lock_guard lock(mutex);
    return first ? last - *first : AllocationCounts{};
  }
  std::mutex mutex;
  std::optional<AllocationCounts> first;
  AllocationCounts last;
  int blocks = 0;
};

// What a null device's output streams play, channel by channel, from the moment it is made.
struct Heard {
  explicit Heard(NullAudioBackend& backend) {
    backend.setOutputSink([this](const float* const* outputs, int channels, int frames) {
      std::lock_guard lock(mutex);
      samples.resize(static_cast<size_t>(channels));
      for (int c = 0; c < channels; ++c) {
        std::vector<float>& channel = samples[static_cast<size_t>(c)];
        channel.insert(channel.end(), outputs[c], outputs[c] + frames);
      }
    });
  }
  // Frames heard so far.
  size_t frames() {
    std::lock_guard lock(mutex);
    return samples.empty() ? 0 : samples[0].size();
  }
  // `count` frames of the first channel from `from` on.
  std::vector<float> left(size_t from, size_t count) {
    std::lock_guard lock(mutex);
    const auto begin = samples[0].begin() + static_cast<ptrdiff_t>(from);
    return {begin, begin + static_cast<ptrdiff_t>(count)};
  }
  std::mutex mutex;
  std::vector<std::vector<float>> samples;
};

// Publishes an active preview chain of one probe, replacing (and retiring) the one before.
void publishProbe(RenderState& state, RenderThreadProbe& probe, int channels) {
  auto effect = std::make_shared<ProbeEffect>([&probe] { probe.record(); });
  state.publishRuntime(std::make_shared<PreviewRuntime>(std::vector<std::shared_ptr<quar::EffectProcessor>>{effect},
                                                        std::vector<bool>{true}, channels, RenderSlice::maxFrames));
  state.effects.with([](PreviewEffectsState& e) { e.isActive = true; });
}

} // namespace

TEST_F(PlaybackEngineTest, StreamsOpenPerSampleRate) {
  PlaybackEngine engine(backend);
  engine.ensureGraph(tone(100, 44100));
  engine.ensureGraph(tone(100, 44100, 1));
  EXPECT_EQ(backend.outputStreamsOpened(), 1);
  engine.ensureGraph(tone(100, 48000));
  EXPECT_EQ(backend.outputStreamsOpened(), 2);
}

TEST_F(PlaybackEngineTest, RefusedRatePlaysThroughConversion) {
  backend.setSupportedRates(std::set<double>{48000});
  PlaybackEngine engine(backend);
  engine.play(tone(200000, 44100), {0, 200000}, 1000, false, 1);
  EXPECT_EQ(backend.outputStreamsOpened(), 1);
  backend.pump(48000);
  // 48,000 device frames take 44,100 content frames, give or take what the converter holds.
  const int64_t position = engine.renderState()->position.load();
  EXPECT_NEAR(position, 1000 + 44100, 4 * quar::StreamingResampler::inputChunk);

  engine.stop();

  backend.setSupportedRates(std::set<double>{});
  PlaybackEngine refused(backend);
  try {
    refused.play(tone(100, 44100), {0, 100}, 0, false, 1);
    FAIL() << "no rate opens";
  } catch (const quar::QuarError& error) {
    EXPECT_EQ(error, quar::QuarError::unsupportedFormat("playback format 44100.0 Hz"));
  }
  EXPECT_FALSE(refused.isRunning());
}

TEST_F(PlaybackEngineTest, PlaysUntilTheRangeEnds) {
  PlaybackEngine engine(backend);
  const AudioContent content = tone(10000, 48000);
  engine.play(content, {0, 10000}, 2000, false, 1);
  EXPECT_TRUE(engine.isRunning());
  EXPECT_EQ(engine.audiblePosition(), 2000);
  backend.pump(4096);
  EXPECT_EQ(engine.audiblePosition(), 6096);
  EXPECT_FALSE(engine.isFinished());
  backend.pump(8192);
  EXPECT_TRUE(engine.isFinished());
  // Playing again clears the end at once, before the render thread has run.
  engine.play(content, {0, 10000}, 0, false, 1);
  EXPECT_FALSE(engine.isFinished());
  engine.stop();
  EXPECT_FALSE(engine.isRunning());
  EXPECT_FALSE(engine.renderState()->program().playing);
}

TEST_F(PlaybackEngineTest, AudiblePositionAllowsForLatency) {
  backend.setOutputLatency(0.01);  // 480 frames at 48 kHz
  PlaybackEngine engine(backend);
  engine.play(tone(100000, 48000), {1000, 100000}, 1000, false, 1);
  EXPECT_EQ(engine.audiblePosition(), 1000);  // never before the range's lower bound
  backend.pump(2048);
  EXPECT_EQ(engine.audiblePosition(), 1000 + 2048 - 480);
  engine.stop();
  EXPECT_EQ(engine.audiblePosition(), 1000 + 2048);
}

TEST_F(PlaybackEngineTest, KeepsReplacedEnvelopeSetsUntilTheRenderThreadLetsGo) {
  PlaybackEngine engine(backend);
  engine.play(tone(48000, 48000), {0, 48000}, 0, true, 1);
  std::vector<std::weak_ptr<const quar::EnvelopeSet>> replaced;
  for (int i = 0; i < 20; ++i) {
    replaced.push_back(engine.program().envelope);
    quar::EnvelopeSet envelopes;
    envelopes.master.insert(i, -1);
    engine.setEnvelopes(envelopes);
  }
  const auto kept = [&] { return std::ranges::count_if(replaced, [](const auto& w) { return !w.expired(); }); };
  EXPECT_EQ(kept(), 20);
  backend.pump(512);  // one cycle may still hold the last set it copied
  engine.releaseRetired();
  EXPECT_EQ(kept(), 20);
  backend.pump(512);
  engine.releaseRetired();
  EXPECT_EQ(kept(), 0);
  EXPECT_TRUE(engine.renderState()->program().envelopeActive);
  engine.setEnvelopes({});
  EXPECT_FALSE(engine.renderState()->program().envelopeActive);
}

// Without a stream no render cycle can hold what is replaced, before the first play and after a
// stop alike: it is freed at once instead of piling up until the next play.
TEST_F(PlaybackEngineTest, WhatIsReplacedWhileStoppedIsFreedAtOnce) {
  PlaybackEngine engine(backend);
  const auto replaceAll = [&](int64_t frames) {
    std::weak_ptr<const quar::EnvelopeSet> envelope = engine.program().envelope;
    std::weak_ptr<const AudioContent> content = engine.program().content;
    quar::EnvelopeSet envelopes;
    envelopes.master.insert(frames / 2, -3);
    engine.setEnvelopes(envelopes);
    engine.replaceContent(tone(frames, 48000), {0, frames});
    return !content.expired() + !envelope.expired();
  };
  EXPECT_EQ(replaceAll(1000), 0);
  engine.play(tone(48000, 48000), {0, 48000}, 0, true, 1);
  EXPECT_EQ(replaceAll(2000), 2);  // the render thread may hold them
  engine.stop();
  EXPECT_EQ(engine.renderState()->retiredCount(), 0u);
  EXPECT_EQ(replaceAll(3000), 0);
  EXPECT_EQ(engine.renderState()->retiredCount(), 0u);
}

TEST_F(PlaybackEngineTest, NothingIsFreedOnTheRenderThread) {
  // Content, envelopes and preview runtimes are replaced, and playback seeks, between device
  // buffers while playing, at the content's rate and through the converter up and down, in
  // device buffers of several sizes.
  struct Case {
    double contentRate;
    double deviceRate;
    int bufferFrames;
  };
  for (const Case& c : {Case{48000, 48000, 512}, Case{44100, 48000, 512}, Case{88200, 48000, 441},
                        Case{22050, 48000, 2048}}) {
    SCOPED_TRACE(testing::Message() << c.contentRate << " Hz on " << c.deviceRate << " Hz, " << c.bufferFrames);
    backend.setSupportedRates(std::set<double>{c.deviceRate});
    backend.setBufferFrames(c.bufferFrames);
    PlaybackEngine engine(backend);
    RenderThreadProbe probe;
    const AudioContent content = tone(30000, c.contentRate);
    publishProbe(*engine.renderState(), probe, 2);
    engine.play(content, {0, 30000}, 0, true, 1);
    for (int i = 0; i < 100; ++i) {
      engine.replaceContent(content.slice({0, 20000 + i}), {0, 20000 + i});
      quar::EnvelopeSet envelopes;
      envelopes.master.insert(i * 100, -6);
      engine.setEnvelopes(envelopes);
      publishProbe(*engine.renderState(), probe, 2);
      if (i % 3 == 0) engine.seek(i * 97);  // the converter starts afresh
      backend.pump(2 * c.bufferFrames);
    }
    // At most what the last three rounds replaced (three programs and a runtime in a round
    // with a seek, else two and one): the GUI thread freed the rest.
    EXPECT_LE(engine.renderState()->retiredCount(), 10u);
    backend.pump(1024);
    EXPECT_GT(probe.blocks, 50);
    EXPECT_EQ(probe.delta(), AllocationCounts{});
    engine.stop();
  }
}

TEST_F(PlaybackEngineTest, AfterASeekTheConverterPlaysOnlyTheNewPosition) {
  // Two sounds, so that audio from before the seek cannot pass for audio after it.
  const AudioContent content = makeContent(2, 60000, [](int, int64_t f) {
    return static_cast<float>(f < 30000 ? 0.5 * std::sin(f * 0.05) : 0.25 * std::sin(f * 0.013));
  }, 44100);
  constexpr int64_t target = 40000;
  constexpr size_t compared = 4096;
  struct Case {
    const char* name;
    std::function<void(PlaybackEngine&)> jump;  // from a running playback of frames 0...
  };
  const Case cases[] = {
      {"stop, then play from the new position",
       [&](PlaybackEngine& e) {
         e.stop();
         e.play(content, {0, 60000}, target, false, 1);
       }},
      {"seek while playing", [&](PlaybackEngine& e) { e.seek(target); }},
      {"play another range while playing",
       [&](PlaybackEngine& e) { e.play(content, {target, 60000}, target, true, 1); }},
  };

  NullAudioBackend fresh(NullAudioBackend::Clock::manual);
  fresh.setSupportedRates(std::set<double>{48000});
  Heard expected(fresh);
  PlaybackEngine reference(fresh);
  reference.play(content, {0, 60000}, target, false, 1);
  fresh.pump(compared);
  const std::vector<float> wanted = expected.left(0, compared);
  ASSERT_GT(*std::max_element(wanted.begin(), wanted.end()), 0.2f);  // past the converter's delay

  backend.setSupportedRates(std::set<double>{48000});
  for (const Case& c : cases) {
    Heard heard(backend);
    PlaybackEngine engine(backend);
    engine.play(content, {0, 60000}, 0, false, 1);
    backend.pump(10000);
    c.jump(engine);
    const size_t from = heard.frames();
    backend.pump(compared);
    EXPECT_EQ(heard.left(from, compared), wanted) << c.name;
  }
}

TEST_F(PlaybackEngineTest, ALoopWrapPlaysOnThroughTheConverterWithoutAGap) {
  backend.setSupportedRates(std::set<double>{48000});
  Heard heard(backend);
  PlaybackEngine engine(backend);
  // Never zero inside the loop, which wraps about every 2,200 device frames.
  const AudioContent content =
      makeContent(1, 10000, [](int, int64_t f) { return static_cast<float>(0.3 + 0.2 * std::sin(f * 0.01)); }, 44100);
  engine.play(content, {1000, 3000}, 1000, true, 1);
  backend.pump(20000);
  const std::vector<float> played = heard.left(0, 20000);
  const auto firstSound = std::find_if(played.begin(), played.end(), [](float v) { return v != 0; });
  ASSERT_NE(firstSound, played.end());
  // A converter started afresh at a wrap would leave its delay of silence in the output.
  EXPECT_GT(*std::min_element(firstSound + 1000, played.end()), 0.05f);
}

TEST_F(PlaybackEngineTest, AStreamThatStopsOnItsOwnIsReopenedAtTheNextPlay) {
  backend.setOutputLatency(0.01);  // 480 frames
  PlaybackEngine engine(backend);
  const AudioContent content = tone(100000, 48000);
  engine.play(content, {0, 100000}, 0, false, 1);
  backend.pump(4096);
  EXPECT_FALSE(engine.outputLost());

  backend.endOutputStreams();
  EXPECT_TRUE(engine.outputLost());
  EXPECT_FALSE(engine.isRunning());
  backend.pump(4096);  // nothing renders any more
  EXPECT_EQ(engine.position(), 4096);
  EXPECT_EQ(engine.audiblePosition(), 4096 - 480);  // where its audio stopped
  EXPECT_FALSE(engine.isFinished());

  engine.stop();
  EXPECT_FALSE(engine.outputLost());
  const int refreshes = backend.refreshes();
  engine.play(content, {0, 100000}, 4096 - 480, false, 1);
  EXPECT_EQ(backend.refreshes(), refreshes + 1);  // the device list is read afresh first
  EXPECT_EQ(backend.outputStreamsOpened(), 2);
  EXPECT_TRUE(engine.isRunning());
  backend.pump(1000);
  EXPECT_EQ(engine.position(), 4096 - 480 + 1000);

  // A stream that stopped on its own is replaced even without a stop in between.
  backend.endOutputStreams();
  engine.play(content, {0, 100000}, 0, false, 1);
  EXPECT_EQ(backend.outputStreamsOpened(), 3);
  EXPECT_TRUE(engine.isRunning());
  // An ordinary stop and play reads no list.
  engine.stop();
  engine.play(content, {0, 100000}, 0, false, 1);
  EXPECT_EQ(backend.refreshes(), refreshes + 2);
  engine.stop();
}

TEST_F(PlaybackEngineTest, SeeksRaceTheRenderThreadThroughTheConverter) {
  // The converter's spare is primed on this thread while the device's own thread renders; the
  // ThreadSanitizer build checks the hand-over.
  NullAudioBackend device(NullAudioBackend::Clock::realTime);
  device.setSupportedRates(std::set<double>{48000});
  device.setBufferFrames(64);
  PlaybackEngine engine(device);
  const AudioContent content = tone(50000, 44100);
  engine.play(content, {0, 50000}, 0, true, 1);
  for (int i = 0; i < 40; ++i) {
    engine.seek(i * 397 % 50000);
    const uint64_t cycles = engine.renderState()->completedCycles();
    while (engine.renderState()->completedCycles() == cycles) std::this_thread::yield();
    engine.releaseRetired();
  }
  engine.stop();
  EXPECT_TRUE(FrameRange(0, 50000).contains(engine.position()));
}

TEST_F(PlaybackEngineTest, EnvelopeMovesWhilePlayingNeverSilenceACycle) {
  // The device's thread renders short buffers back to back while this thread moves an envelope
  // point 10,000 times, each move raced by a render cycle: every buffer sounds.
  backend.setBufferFrames(64);
  std::atomic<int> buffers = 0, silent = 0;
  backend.setOutputSink([&](const float* const* outputs, int channels, int frames) {
    ++buffers;
    for (int c = 0; c < channels; ++c)
      if (std::all_of(outputs[c], outputs[c] + frames, [](float v) { return v == 0; })) {
        ++silent;
        return;
      }
  });
  PlaybackEngine engine(backend);
  constexpr int64_t frames = 48000;
  engine.play(makeContent(2, frames, [](int, int64_t) { return 0.5f; }), {0, frames}, 0, true, 1);
  std::atomic<bool> playing = true;
  std::thread device([&] {
    while (playing) backend.pump(64);
  });
  for (int i = 0; i < 10'000; ++i) {
    quar::EnvelopeSet envelopes;
    envelopes.master.insert(i * 37 % frames, -6);
    envelopes.master.insert(frames - 1, 0);
    engine.setEnvelopes(envelopes);
    const uint64_t cycles = engine.renderState()->completedCycles();
    while (engine.renderState()->completedCycles() == cycles) std::this_thread::yield();
  }
  playing = false;
  device.join();
  engine.stop();
  EXPECT_GE(buffers.load(), 10'000);
  EXPECT_EQ(silent.load(), 0);
}
