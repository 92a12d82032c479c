#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "PlaybackTestSupport.h"
#include "support/AllocationCounting.h"
#include "playback/RenderSlice.h"
#include "playback/RenderState.h"

using namespace PlaybackTestSupport;
using quar::testing::AllocationCounts;
using quar::testing::countsOnThisThread;
using quar::AudioContent;
using quar::FrameRange;

namespace {

// Publishes an active preview runtime over one ScaleEffect at factor 1, so that the effect
// sees every slice the render makes.
ScaleEffect& publishCountingRuntime(RenderState& state, int channels) {
  auto effect = std::make_shared<ScaleEffect>(1.0f);
  effect->blocks.reserve(64);
  ScaleEffect& counting = *effect;
  state.publishRuntime(std::make_shared<PreviewRuntime>(std::vector<std::shared_ptr<quar::EffectProcessor>>{effect},
                                                        std::vector<bool>{true}, channels, RenderSlice::maxFrames));
  state.effects.with([](PreviewEffectsState& e) { e.isActive = true; });
  return counting;
}

// Renders cycles of `frames` frames on its own thread, each held in the middle (in the preview
// chain, after it read the program and the position) until this thread releases it, and, while
// asked to, parked between two cycles.
class HeldRenderer {
public:
  HeldRenderer(RenderState& state, int64_t frames) {
    auto gate = std::make_shared<ProbeEffect>([this] {
      const int cycle = ++held_;
      while (released_ < cycle && running_) std::this_thread::yield();
    });
    const int channels = state.program().content->channelCount();
    state.publishRuntime(std::make_shared<PreviewRuntime>(std::vector<std::shared_ptr<quar::EffectProcessor>>{gate},
                                                          std::vector<bool>{true}, channels, RenderSlice::maxFrames));
    state.effects.with([](PreviewEffectsState& e) { e.isActive = true; });
    thread_ = std::thread([this, &state, frames, channels] {
      std::vector<std::vector<float>> buffers(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
      std::vector<float*> pointers;
      for (auto& b : buffers) pointers.push_back(b.data());
      bool silence = false;
      while (running_) {
        state.render(frames, pointers, &silence);
        if (parkBetween_) {
          ++parked_;
          while (parkBetween_ && running_) std::this_thread::yield();
        }
      }
    });
    while (held_ == 0) std::this_thread::yield();
  }
  ~HeldRenderer() {
    running_ = false;
    thread_.join();
  }
  // Lets the held cycle finish.
  void release() { released_ = held_.load(); }
  // Waits until a cycle after the released ones is held.
  void awaitHeld() {
    while (held_ <= released_) std::this_thread::yield();
  }
  void releaseAndAwaitNext() {
    release();
    awaitHeld();
  }
  // From the next cycle's end on, the renderer waits between cycles until unparked.
  void parkBetweenCycles(bool park) { parkBetween_ = park; }
  // Waits until the renderer is parked after the released cycle.
  void awaitParked() {
    while (parked_ == 0) std::this_thread::yield();
  }

private:
  std::atomic<bool> running_ = true, parkBetween_ = false;
  std::atomic<int> held_ = 0, released_ = 0, parked_ = 0;
  std::thread thread_;
};

} // namespace

TEST(RenderStateTest, LargeRequestRendersInSlicesOf4096) {
  RenderState state;
  const AudioContent content = makeContent(2, 20000, ramp);
  installProgram(state, content, {0, 20000}, false, 0.5f);
  ScaleEffect& effect = publishCountingRuntime(state, 2);
  Output out(2, 10000);
  EXPECT_FALSE(out.render(state));
  EXPECT_EQ(effect.blocks, (std::vector<int>{4096, 4096, 1808}));
  EXPECT_EQ(state.position.load(), 10000);
  for (int c = 0; c < 2; ++c)
    for (int64_t f : {0, 4095, 4096, 9999})
      EXPECT_EQ(out.buffers[c][f], ramp(c, f) * 0.5f) << c << " " << f;
}

TEST(RenderStateTest, ChannelsMapOntoOutputs) {
  // Six channels fold onto two outputs, even channels left and odd right, scaled by gain / 3;
  // forty render only the first 32; mono plays on both speakers.
  {
    RenderState state;
    installProgram(state, makeContent(6, 100, ramp), {0, 100}, false, 0.8f);
    Output out(2, 100);
    out.render(state);
    for (int64_t f : {0, 57, 99}) {
      EXPECT_FLOAT_EQ(out.buffers[0][f], (ramp(0, f) + ramp(2, f) + ramp(4, f)) * 0.8f / 3);
      EXPECT_FLOAT_EQ(out.buffers[1][f], (ramp(1, f) + ramp(3, f) + ramp(5, f)) * 0.8f / 3);
    }
  }
  {
    RenderState state;
    installProgram(state, makeContent(40, 100, ramp), {0, 100});
    Output out(40, 100);
    out.render(state);
    for (int c = 0; c < 40; ++c) EXPECT_EQ(out.buffers[c][50], c < 32 ? ramp(c, 50) : 0.0f) << c;
  }
  {
    RenderState state;
    installProgram(state, makeContent(1, 100, ramp), {0, 100}, false, 2);
    Output out(2, 100);
    out.render(state);
    EXPECT_EQ(out.buffers[0][10], ramp(0, 10) * 2);
    EXPECT_EQ(out.buffers[1][10], ramp(0, 10) * 2);
  }
  {
    // Null outputs are skipped; with no outputs at all the position still moves on.
    RenderState state;
    installProgram(state, makeContent(2, 100, ramp), {0, 100});
    Output out(2, 50);
    out.pointers[0] = nullptr;
    out.render(state);
    EXPECT_EQ(out.buffers[0][0], 7.0f);
    EXPECT_EQ(out.buffers[1][0], ramp(1, 0));
    bool silence = false;
    state.render(30, {}, &silence);
    EXPECT_EQ(state.position.load(), 80);
  }
}

TEST(RenderStateTest, NothingToPlayGivesSilence) {
  struct Case {
    const char* name;
    bool playing;
    bool content;
    FrameRange range;
  };
  const Case cases[] = {
      {"not playing", false, true, {0, 100}},
      {"no content", true, false, {0, 100}},
      {"empty range", true, true, {40, 40}},
      {"range beyond the content", true, true, {200, 300}},
  };
  for (const Case& c : cases) {
    RenderState state;
    state.update([&](PlaybackProgram& p) {
      if (c.content) p.content = std::make_shared<const AudioContent>(makeContent(2, 100, ramp));
      p.range = c.range;
      p.playing = c.playing;
    });
    state.position = 10;
    Output out(2, 64);
    EXPECT_TRUE(out.render(state)) << c.name;
    EXPECT_TRUE(out.allZero()) << c.name;
    EXPECT_EQ(state.position.load(), 10) << c.name;
    EXPECT_FALSE(state.finished.load()) << c.name;
  }
}

TEST(RenderStateTest, AProgramPublishedWithASeekIsTakenWithIt) {
  // The render thread never plays the new content from the old position, nor the old content
  // from the new one; a seek not yet taken survives the programs published after it.
  RenderState state;
  installProgram(state, makeContent(1, 1000, ramp), {0, 1000});
  state.position = 100;
  PlaybackProgram next = state.program();
  next.content = std::make_shared<const AudioContent>(makeContent(1, 1000, [](int, int64_t f) { return ramp(1, f); }));
  state.publish(next, 700);
  state.update([](PlaybackProgram& p) { p.gain = 2; });
  EXPECT_EQ(state.pendingSeek(), 700);
  Output out(1, 16);
  EXPECT_FALSE(out.render(state));
  EXPECT_EQ(out.buffers[0][0], ramp(1, 700) * 2);
  EXPECT_FALSE(state.pendingSeek());
  state.update([](PlaybackProgram& p) { p.gain = 1; });
  out.render(state);
  EXPECT_EQ(out.buffers[0][0], ramp(1, 716));  // taken once
  EXPECT_EQ(state.seeksTaken(), 1u);
}

TEST(RenderStateTest, PositionOutsideTheRangeFinishesWithoutLoop) {
  for (int64_t position : {200, 250, 50}) {
    RenderState state;
    installProgram(state, makeContent(2, 1000, ramp), {100, 200});
    state.position = position;
    Output out(2, 64);
    EXPECT_FALSE(out.render(state)) << position;
    EXPECT_TRUE(out.allZero()) << position;
    EXPECT_TRUE(state.finished.load()) << position;
    EXPECT_EQ(state.position.load(), position);
  }
  // Reaching the end within a request plays up to it, then zeros.
  RenderState state;
  installProgram(state, makeContent(1, 1000, ramp), {100, 200});
  state.position = 180;
  Output out(1, 64);
  out.render(state);
  EXPECT_EQ(out.buffers[0][19], ramp(0, 199));
  EXPECT_EQ(out.buffers[0][20], 0.0f);
  EXPECT_TRUE(state.finished.load());
  EXPECT_EQ(state.position.load(), 200);
}

TEST(RenderStateTest, LoopWrapsWithinOneRequest) {
  RenderState state;
  installProgram(state, makeContent(1, 1000, ramp), {100, 200}, true);
  state.position = 150;
  Output out(1, 120);
  EXPECT_FALSE(out.render(state));
  EXPECT_EQ(out.buffers[0][49], ramp(0, 199));
  EXPECT_EQ(out.buffers[0][50], ramp(0, 100));
  EXPECT_EQ(out.buffers[0][119], ramp(0, 169));
  EXPECT_EQ(state.position.load(), 170);
  EXPECT_FALSE(state.finished.load());
  // A position outside the range starts again at its lower bound.
  state.position = 900;
  out.render(state);
  EXPECT_EQ(out.buffers[0][0], ramp(0, 100));
}

TEST(RenderStateTest, EnvelopesApplyAtContentFrames) {
  RenderState state;
  const AudioContent content = makeContent(2, 10000, [](int, int64_t) { return 0.5f; });
  installProgram(state, content, {0, 10000});
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(0, -6);
  envelopes.master.insert(8000, 0);
  envelopes.setTrim(1, 6, 2);
  state.update([&](PlaybackProgram& p) {
    p.envelope = std::make_shared<const quar::EnvelopeSet>(envelopes);
    p.envelopeActive = true;
  });
  state.position = 3000;
  Output out(2, 6000);
  out.render(state);
  for (int64_t f : {0, 2000, 4999, 5999})
    for (int c = 0; c < 2; ++c)
      EXPECT_NEAR(out.buffers[c][f], 0.5 * std::pow(10.0, envelopes.gainDB(c, double(3000 + f)) / 20), 1e-6) << c << " " << f;
}

TEST(RenderStateTest, SeeksTakeEffectAtTheNextCycleAndClearFinished) {
  RenderState state;
  installProgram(state, makeContent(1, 1000, ramp), {0, 1000});
  state.position = 1000;
  Output out(1, 16);
  out.render(state);
  ASSERT_TRUE(state.isFinished());
  state.requestSeek(500);
  EXPECT_FALSE(state.isFinished());  // the finished flag belongs to the position before the seek
  EXPECT_EQ(state.pendingSeek(), 500);
  out.render(state);
  EXPECT_EQ(out.buffers[0][0], ramp(0, 500));
  EXPECT_EQ(state.position.load(), 516);
  EXPECT_FALSE(state.isFinished());
  EXPECT_FALSE(state.pendingSeek());
  // A seek while nothing plays still moves the position.
  state.update([](PlaybackProgram& p) { p.playing = false; });
  state.requestSeek(20);
  out.render(state);
  EXPECT_EQ(state.position.load(), 20);
}

TEST(RenderStateTest, SeeksDuringRenderCyclesAreNeverLost) {
  constexpr int64_t cycleFrames = 1024;
  RenderState state;
  installProgram(state, AudioContent::silence(1'000'000, 1, 48000), {0, 1'000'000});
  HeldRenderer renderer(state, cycleFrames);
  int lost = 0;
  for (int i = 0; i < 100; ++i) {
    const int64_t target = (i % 2 == 0 ? 800'000 : 200'000) + i;
    state.requestSeek(target);
    renderer.releaseAndAwaitNext();  // the held cycle ends; the next one takes the seek
    renderer.releaseAndAwaitNext();
    if (state.position.load() != target + cycleFrames) ++lost;
  }
  EXPECT_EQ(lost, 0);
}

TEST(RenderStateTest, ACycleEndingAfterPlayDoesNotStopIt) {
  // A cycle under way runs past the end while playback starts again from 0: its finished flag
  // must not count while the new start waits for the next cycle.
  RenderState state;
  installProgram(state, makeContent(1, 2000, ramp), {0, 2000});
  state.position = 1500;
  HeldRenderer renderer(state, 1024);
  state.publish(state.program(), 0);
  state.finished = false;
  renderer.parkBetweenCycles(true);
  renderer.release();
  renderer.awaitParked();
  EXPECT_TRUE(state.finished.load());
  EXPECT_FALSE(state.isFinished());
  renderer.parkBetweenCycles(false);
  renderer.awaitHeld();
  renderer.releaseAndAwaitNext();
  EXPECT_FALSE(state.isFinished());
  EXPECT_EQ(state.position.load(), 1024);
}

TEST(RenderStateTest, RenderThreadAllocatesAndFreesNothing) {
  // The render thread plays while this thread replaces content, envelopes and preview
  // runtimes and frees what it retired.
  RenderState state;
  const AudioContent content = makeContent(2, 50000, ramp);
  installProgram(state, content, {0, 50000}, true);
  std::atomic<bool> running = true;
  AllocationCounts renderCounts;
  std::thread renderer([&] {
    std::vector<float> left(512), right(512);
    float* pointers[] = {left.data(), right.data()};
    bool silence = false;
    const AllocationCounts before = countsOnThisThread();
    while (running) state.render(512, pointers, &silence);
    renderCounts = countsOnThisThread() - before;
  });
  std::vector<std::weak_ptr<const void>> replaced;
  for (int i = 0; i < 200; ++i) {
    auto fresh = std::make_shared<const AudioContent>(content.slice({0, 40000 + i}));
    quar::EnvelopeSet envelopes;
    envelopes.master.insert(i, -3);
    auto envelope = std::make_shared<const quar::EnvelopeSet>(envelopes);
    replaced.push_back(state.program().content);
    replaced.push_back(state.program().envelope);
    state.update([&](PlaybackProgram& p) {
      p.range = {0, fresh->frameCount()};
      p.content = fresh;
      p.envelope = envelope;
      p.envelopeActive = true;
    });
    replaced.push_back(state.effects.with([](PreviewEffectsState& e) { return e.runtime; }));
    state.publishRuntime(std::make_shared<PreviewRuntime>(
        std::vector<std::shared_ptr<quar::EffectProcessor>>{std::make_shared<ScaleEffect>(1.0f)}, std::vector<bool>{false},
        2, RenderSlice::maxFrames));
    state.effects.with([&](PreviewEffectsState& e) {
      e.isActive = true;
      e.settings = {scaleSettings(1.0)};
      e.enabled = {true};
      e.versions = {i + 1};
    });
    const uint64_t cycles = state.completedCycles();
    while (state.completedCycles() < cycles + 3) std::this_thread::yield();
    state.releaseRetired();
  }
  // Everything replaced before the last round is gone while the render thread still plays.
  const auto freed = std::count_if(replaced.begin(), replaced.end() - 3, [](const auto& w) { return w.expired(); });
  running = false;
  renderer.join();
  EXPECT_EQ(freed, static_cast<long>(replaced.size()) - 3);
  EXPECT_EQ(renderCounts, AllocationCounts{});
}

TEST(RenderStateTest, CachedRuntimeOutlivesItsRetirementWhileTheEffectsLockIsBusy) {
  RenderState state;
  installProgram(state, makeContent(1, 10000, ramp), {0, 10000});
  ScaleEffect& first = publishCountingRuntime(state, 1);
  Output out(1, 64);
  out.render(state);
  ASSERT_EQ(first.blocks.size(), 1u);
  {
    // The rack swaps in a new runtime and then keeps the lock busy: the render goes on with
    // the runtime it has, so the old one stays retired however many cycles pass.
    auto second = std::make_shared<ScaleEffect>(1.0f);
    auto runtime = std::make_shared<PreviewRuntime>(std::vector<std::shared_ptr<quar::EffectProcessor>>{second},
                                                    std::vector<bool>{true}, 1, RenderSlice::maxFrames);
    state.publishRuntime(runtime);
    std::lock_guard hold(state.effects.mutex());
    for (int i = 0; i < 4; ++i) out.render(state);
    state.releaseRetired();
    EXPECT_EQ(state.retiredCount(), 1u);
    EXPECT_EQ(first.blocks.size(), 5u);
  }
  out.render(state);
  out.render(state);
  state.releaseRetired();
  EXPECT_EQ(state.retiredCount(), 0u);
}
