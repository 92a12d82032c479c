#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <thread>

#include "au/AudioUnitEffect.h"
#include "au/platform/RenderLane.h"
#include "au/support/TestUnits.h"
#include "base/QuarError.h"
#include "support/AllocationCounting.h"

using namespace quar;
using namespace quar::test;

namespace {

const float halfGainDB = static_cast<float>(20 * std::log10(0.5));

PlatformComponent fakeComponent() {
  return {{componentType::effect, fourCharCode("fk01"), fourCharCode("qtst"), 0, 0}, "Fake Unit", "Fake Maker", 1};
}

FakeUnitConfig takes(std::vector<uint32_t> inputs, std::vector<uint32_t> outputs) {
  FakeUnitConfig unitConfig;
  unitConfig.inputChannels = std::move(inputs);
  unitConfig.outputChannels = std::move(outputs);
  return unitConfig;
}

FakeUnit& fake(const std::shared_ptr<PlatformUnit>& unit) { return dynamic_cast<FakeUnit&>(*unit); }

// Planar test signal: channel c, frame i holds (c + 1) · 0.1 + i · 1e-4.
struct Signal {
  Signal(int channels, int frames) : data(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames))) {
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < frames; ++i) data[c][i] = input(c, i);
    for (auto& channel : data) pointers.push_back(channel.data());
  }
  Signal(const Signal& other) : data(other.data) {
    for (auto& channel : data) pointers.push_back(channel.data());
  }
  static float input(int c, int i) { return static_cast<float>(c + 1) * 0.1f + static_cast<float>(i) * 1e-4f; }
  int channels() const { return static_cast<int>(data.size()); }
  int frames() const { return static_cast<int>(data[0].size()); }
  void processBy(EffectProcessor& effect) { effect.process(pointers.data(), channels(), frames()); }

  std::vector<std::vector<float>> data;
  std::vector<float*> pointers;
};

std::vector<std::pair<int, int>> groups(const AudioUnitEffect& effect) {
  std::vector<std::pair<int, int>> result;
  for (const auto& lane : effect.lanes()) result.emplace_back(lane->groupStart, lane->groupSize);
  return result;
}

} // namespace

TEST(AudioUnitEffectRendering, ChannelsSplitIntoGroupsOfTheFirstAcceptedLayout) {
  struct Case {
    const char* label;
    FakeUnitConfig unitConfig;
    int channels;
    AudioUnitEffect::ChannelLayout layout;
    std::vector<std::pair<int, int>> groups;
    std::vector<std::string> refused;
  };
  FakeUnitConfig noInput = takes({}, {2});
  noInput.inputBuses = 0;
  const Case cases[] = {
      {"stereo-only on 6", takes({2}, {2}), 6, {2, 2, 3}, {{0, 2}, {2, 2}, {4, 2}}, {"input 6"}},
      {"stereo-only on 5", takes({2}, {2}), 5, {2, 2, 3}, {{0, 2}, {2, 2}, {4, 1}}, {"input 5"}},
      {"mono-only on stereo", takes({1}, {1}), 2, {1, 1, 2}, {{0, 1}, {1, 1}}, {"input 2"}},
      {"mono in, stereo out on stereo", takes({1}, {2}), 2, {1, 2, 2}, {{0, 1}, {1, 1}}, {"input 2", "output 1"}},
      {"no input bus on stereo", noInput, 2, {0, 2, 1}, {{0, 2}}, {}},
      {"no input bus on 6", noInput, 6, {0, 2, 3}, {{0, 2}, {2, 2}, {4, 2}}, {"output 6"}},
      {"any layout on 6", {}, 6, {6, 6, 1}, {{0, 6}}, {}},
      {"channel count 0 counts as 1", {}, 0, {1, 1, 1}, {{0, 1}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakeComponent component(fakeComponent(), c.unitConfig);
    auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
    effect->prepare(48000, c.channels, 512);
    EXPECT_EQ(effect->instanceChannelLayout(), c.layout);
    EXPECT_EQ(groups(*effect), c.groups);
    EXPECT_EQ(fake(effect->auAudioUnit()).refusedFormats, c.refused);
    ASSERT_EQ(effect->cloneUnits().size(), static_cast<size_t>(c.layout.instances - 1));
    for (size_t i = 0; i < effect->lanes().size(); ++i) {
      const RenderLane& lane = *effect->lanes()[i];
      EXPECT_EQ(lane.unit, i == 0 ? effect->auAudioUnit() : effect->cloneUnits()[i - 1]);
      EXPECT_EQ(lane.inChannels, c.layout.inputs);
      EXPECT_EQ(lane.outChannels, c.layout.outputs);
      EXPECT_TRUE(lane.unit->renderResourcesAllocated());
    }
    EXPECT_EQ(effect->chunkFrames(), 512);
    EXPECT_EQ(effect->sampleRate(), 48000.0);
  }
}

TEST(AudioUnitEffectRendering, AZeroFrameLimitPreparesForSingleFrames) {
  FakeComponent component(fakeComponent());
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(44100, 2, 0);
  EXPECT_EQ(effect->chunkFrames(), 1);
  Signal signal(2, 5);
  signal.processBy(*effect);  // five single-frame chunks
  EXPECT_EQ(effect->lanes()[0]->timeStamp.mSampleTime, 5.0);
  EXPECT_EQ(fake(effect->auAudioUnit()).renderCalls, 5);
}

TEST(AudioUnitEffectRendering, RealPlugInsProcessEveryGroup) {
  {
    SCOPED_TRACE("stereo gain on 6 channels");
    auto effect = lv2Effect(testPlugins + "stereo-gain");
    effect->setParameter(0, halfGainDB);  // set before the clones exist: they start from the main state
    effect->prepare(48000, 6, 4096);
    EXPECT_EQ(effect->instanceChannelLayout(), (AudioUnitEffect::ChannelLayout{2, 2, 3}));
    Signal signal(6, 5000);  // two chunks
    signal.processBy(*effect);
    for (int c = 0; c < 6; ++c)
      for (int i = 0; i < 5000; i += 499) ASSERT_NEAR(signal.data[c][i], Signal::input(c, i) * 0.5f, 1e-6f) << c;
    EXPECT_EQ(effect->renderFailureCount(), 0);
  }
  {
    SCOPED_TRACE("mono gain on stereo");
    auto effect = lv2Effect(testPlugins + "mono-gain");
    effect->setParameter(0, halfGainDB);
    effect->prepare(48000, 2, 256);
    EXPECT_EQ(effect->instanceChannelLayout(), (AudioUnitEffect::ChannelLayout{1, 1, 2}));
    Signal signal(2, 300);
    signal.processBy(*effect);
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(signal.data[c][299], Signal::input(c, 299) * 0.5f, 1e-6f);
  }
  {
    SCOPED_TRACE("generator without input on stereo");
    auto effect = lv2Effect(testPlugins + "generator");
    effect->prepare(48000, 2, 256);
    EXPECT_EQ(effect->instanceChannelLayout(), (AudioUnitEffect::ChannelLayout{0, 2, 1}));
    EXPECT_FALSE(effect->lanes()[0]->pullBlock.has_value());
    Signal signal(2, 100);
    signal.processBy(*effect);
    EXPECT_EQ(signal.data[0][0], 0.25f);
    EXPECT_EQ(signal.data[1][99], 0.25f);
  }
}

TEST(AudioUnitEffectRendering, ASingleChannelGroupFeedsEveryInputAndTakesTheMeanOfTheOutputs) {
  FakeUnitConfig unitConfig = takes({2}, {2});
  unitConfig.outputGains = {1, 3};
  FakeComponent component(fakeComponent(), unitConfig);
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(48000, 5, 64);
  Signal signal(5, 100);
  signal.processBy(*effect);
  for (int i = 0; i < 100; i += 33) {
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(signal.data[c][i], Signal::input(c, i) * (c % 2 ? 3.0f : 1.0f));
    EXPECT_FLOAT_EQ(signal.data[4][i], Signal::input(4, i) * 2.0f);  // (1 + 3) / 2
  }
}

TEST(AudioUnitEffectRendering, AFailedGroupPassesDryAndIsCountedWhileTheOthersProcess) {
  FakeUnitConfig unitConfig = takes({2}, {2});
  unitConfig.gain = 0.5f;
  FakeComponent component(fakeComponent(), unitConfig);
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(48000, 6, 256);
  EXPECT_EQ(effect->renderFailure(), std::nullopt);
  FakeUnit& failing = fake(effect->cloneUnits()[0]);  // lane 1: channels 2 and 3
  failing.unitConfig.renderStatus = auStatus::cannotDoInCurrentContext;

  Signal signal(6, 600);  // three chunks
  signal.processBy(*effect);
  for (int c = 0; c < 6; ++c) {
    const float factor = c == 2 || c == 3 ? 1.0f : 0.5f;
    for (int i = 0; i < 600; i += 97) ASSERT_FLOAT_EQ(signal.data[c][i], Signal::input(c, i) * factor) << c;
  }
  EXPECT_EQ(effect->renderFailureCount(), 3);
  EXPECT_EQ(effect->lanes()[1]->timeStamp.mSampleTime, 600.0);  // time runs on through failures
  const auto error = effect->renderFailure();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind(), QuarError::Kind::encodeFailed);
  EXPECT_EQ(error->message(), "\u201CFake Unit\u201D failed to render (status -10863)");

  // Later chunks render again; the count runs until the next prepare.
  failing.unitConfig.renderStatus = 0;
  Signal again(6, 100);
  again.processBy(*effect);
  EXPECT_FLOAT_EQ(again.data[2][50], Signal::input(2, 50) * 0.5f);
  EXPECT_EQ(effect->renderFailureCount(), 3);
  effect->prepare(48000, 6, 256);
  EXPECT_EQ(effect->renderFailureCount(), 0);
  EXPECT_EQ(effect->renderFailure(), std::nullopt);
}

TEST(AudioUnitEffectRendering, GroupsBeyondTheGivenChannelsAreSkipped) {
  FakeUnitConfig unitConfig = takes({2}, {2});
  unitConfig.gain = 0.5f;
  FakeComponent component(fakeComponent(), unitConfig);
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(48000, 6, 256);
  Signal signal(3, 10);
  signal.processBy(*effect);
  EXPECT_FLOAT_EQ(signal.data[1][5], Signal::input(1, 5) * 0.5f);
  EXPECT_FLOAT_EQ(signal.data[2][5], Signal::input(2, 5));
  EXPECT_EQ(fake(effect->cloneUnits()[0]).renderCalls, 0);
  EXPECT_EQ(effect->renderFailureCount(), 0);
}

TEST(AudioUnitEffectRendering, PreparingForFewerChannelsKeepsTheFirstClonesAndReleasesTheRest) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  effect->prepare(48000, 6, 512);
  const auto before = effect->cloneUnits();
  ASSERT_EQ(before.size(), 5u);
  effect->prepare(44100, 2, 512);
  ASSERT_EQ(effect->cloneUnits().size(), 1u);
  EXPECT_EQ(effect->cloneUnits()[0], before[0]);
  EXPECT_TRUE(before[0]->renderResourcesAllocated());
  for (size_t i = 1; i < before.size(); ++i) EXPECT_FALSE(before[i]->renderResourcesAllocated()) << i;
  EXPECT_EQ(groups(*effect), (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
}

TEST(AudioUnitEffectRendering, ARefusedPrepareLeavesTheEffectUnprepared) {
  FakeComponent component(fakeComponent(), takes({2}, {2}));
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(48000, 4, 256);
  const auto clones = effect->cloneUnits();
  ASSERT_EQ(clones.size(), 1u);
  fake(effect->auAudioUnit()).unitConfig.inputChannels = {4};  // now refuses everything tried for 6 channels
  try {
    effect->prepare(44100.9, 6, 256);
    FAIL() << "prepared";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.errorDescription(),
              "Unsupported format: \u201CFake Unit\u201D doesn\u2019t accept 6-channel audio at 44100 Hz. "
              "Fake unit refuses 2 channels.");
  }
  EXPECT_TRUE(effect->lanes().empty());
  EXPECT_EQ(effect->chunkFrames(), 0);
  EXPECT_EQ(effect->cloneUnits(), clones);
  Signal signal(6, 10);
  signal.processBy(*effect);
  EXPECT_EQ(signal.data[0][3], Signal::input(0, 3));
}

TEST(AudioUnitEffectRendering, AnExtraInstanceThatCannotBeMadeIsReported) {
  FakeUnitConfig unitConfig = takes({1}, {1});
  unitConfig.instanceLimit = 1;
  FakeComponent component(fakeComponent(), unitConfig);
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  try {
    effect->prepare(48000, 2, 256);
    FAIL() << "prepared";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::codecUnavailable);
    EXPECT_EQ(error.message(), "Couldn\u2019t create an extra instance of \u201CFake Unit\u201D: No more fake units.");
  }
  EXPECT_TRUE(effect->lanes().empty());
}

TEST(AudioUnitEffectRendering, TailAndLatencyInFramesAtThePreparedRate) {
  struct Case {
    double tailSeconds, latencySeconds, rate;
    int64_t tailFrames, latencyFrames;
  };
  const double inf = INFINITY;
  const Case cases[] = {
      {45, 0, 48000, 1440000, 0},  // the tail is capped at 30 s
      {2.5, 0.0015, 44100, 110250, 66},
      {inf, inf, 48000, 0, 0},
      {-1, -0.5, 48000, 0, 0},
      {NAN, NAN, 48000, 0, 0},
      {1e-9, 1e-9, 48000, 1, 0},
  };
  for (const auto& c : cases) {
    FakeUnitConfig unitConfig;
    unitConfig.tailTime = c.tailSeconds;
    unitConfig.latency = c.latencySeconds;
    FakeComponent component(fakeComponent(), unitConfig);
    auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
    effect->prepare(c.rate, 1, 256);
    EXPECT_EQ(effect->tailFrames(), c.tailFrames) << c.tailSeconds;
    EXPECT_EQ(effect->latencyFrames(), c.latencyFrames) << c.latencySeconds;
  }

  // The test plug-in's latency port reads 64 once allocation has run it.
  for (double rate : {48000.0, 44100.0}) {
    auto effect = lv2Effect(testPlugins + "mono-gain");
    effect->prepare(rate, 1, 512);
    EXPECT_EQ(effect->latencyFrames(), 64) << rate;
    EXPECT_EQ(effect->tailFrames(), 0);
  }
  auto delay = lv2Effect(mdaPlugins + "Delay");
  delay->prepare(44100, 2, 512);
  EXPECT_EQ(delay->tailFrames(), 441000);  // delay-class plug-ins ring for 10 s
}

TEST(AudioUnitEffectRendering, ResetClearsEveryInstanceAndRestartsTheLanesTime) {
  FakeComponent component(fakeComponent(), takes({1}, {1}));
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->reset();  // unprepared: the main unit alone
  EXPECT_EQ(fake(effect->auAudioUnit()).events.back(), "reset");

  effect->prepare(48000, 3, 256);
  Signal signal(3, 100);
  signal.processBy(*effect);
  for (const auto& lane : effect->lanes()) EXPECT_EQ(lane->timeStamp.mSampleTime, 100.0);
  effect->reset();
  for (const auto& lane : effect->lanes()) EXPECT_EQ(fake(lane->unit).events.back(), "reset");
  Signal next(3, 40);
  next.processBy(*effect);
  for (const auto& lane : effect->lanes()) EXPECT_EQ(lane->timeStamp.mSampleTime, 40.0);
}

TEST(AudioUnitEffectRendering, AProcessCallOverlappingPrepareKeepsItsLanesUntilItReturns) {
  FakeComponent component(fakeComponent(), takes({2}, {2}));
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  effect->prepare(48000, 6, 256);
  std::weak_ptr<PlatformUnit> dropped = effect->cloneUnits()[1];  // lane 2, gone after preparing for 2
  std::promise<void> entered, release;
  auto released = release.get_future().share();
  fake(effect->cloneUnits()[1]).unitConfig.onRender = [&] {
    entered.set_value();
    released.wait();
  };

  Signal signal(6, 100);
  std::thread render([&] { signal.processBy(*effect); });
  entered.get_future().wait();  // the render thread is inside lane 2's unit
  effect->prepare(48000, 2, 256);
  EXPECT_EQ(effect->cloneUnits().size(), 0u);
  EXPECT_FALSE(dropped.expired());  // still held by the lanes being rendered
  release.set_value();
  render.join();

  effect->reset();  // a later control call frees the replaced lanes and their units
  EXPECT_TRUE(dropped.expired());
  // Lanes 0 and 1 rendered; lane 2's unit lost its resources meanwhile and its channels pass dry.
  EXPECT_EQ(signal.data[0][10], Signal::input(0, 10));
  EXPECT_EQ(signal.data[4][10], Signal::input(4, 10));
  EXPECT_EQ(effect->renderFailureCount(), 1);
}

TEST(AudioUnitEffectRendering, OfflineRenderingOfAnMdaPlugInMatchesLiveBlocks) {
  auto live = lv2Effect(mdaPlugins + "Delay");
  const auto parameters = live->parameters();
  ASSERT_GE(parameters.size(), 2u);
  live->setParameter(parameters[0].address, parameters[0].minValue + 0.3f * (parameters[0].maxValue - parameters[0].minValue));
  live->setParameter(parameters[1].address, parameters[1].minValue + 0.7f * (parameters[1].maxValue - parameters[1].minValue));

  auto offline = lv2Effect(mdaPlugins + "Delay");
  offline->restoreState(*live->stateData());
  offline->setRendersOffline(true);

  constexpr int channels = 3, frames = 30000;
  Signal input(channels, frames);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      input.data[c][i] = 0.5f * std::sin(0.01f * static_cast<float>(i * (c + 1))) * (i < 12000 ? 1.0f : 0.0f);
  Signal liveOut = input, offlineOut = input;

  live->prepare(44100, channels, 4096);
  for (int offset = 0; offset < frames; offset += 4096) {
    std::vector<float*> block;
    for (float* channel : liveOut.pointers) block.push_back(channel + offset);
    live->process(block.data(), channels, std::min(4096, frames - offset));
  }
  offline->prepare(44100, channels, 16384);
  offlineOut.processBy(*offline);

  EXPECT_TRUE(offline->rendersOffline());
  EXPECT_EQ(offline->instanceChannelLayout(), (AudioUnitEffect::ChannelLayout{2, 2, 2}));
  EXPECT_EQ(offline->renderFailureCount(), 0);
  EXPECT_EQ(live->renderFailureCount(), 0);
  EXPECT_NE(liveOut.data, input.data);
  EXPECT_EQ(offlineOut.data, liveOut.data);
}

// The real-time claim of hosting: once prepared, process (and reset between blocks) allocates
// nothing, with clones and with blocks larger than the lanes' chunk.
TEST(AudioUnitEffectRendering, ProcessingTheTestBundleAllocatesNothing) {
  for (const char* name : {"mono-gain", "stereo-gain"}) {
    SCOPED_TRACE(name);
    auto effect = lv2Effect(testPlugins + name);
    effect->prepare(48000, 3, 1024);
    Signal signal(3, 8192);
    std::vector<float*> block(3);
    const int64_t allocations = quar::testing::allocationsDuring([&] {
      for (int offset = 0; offset + 1024 <= 8192; offset += 1024) {
        for (int c = 0; c < 3; ++c) block[static_cast<size_t>(c)] = signal.pointers[static_cast<size_t>(c)] + offset;
        effect->process(block.data(), 3, offset == 4096 ? 1 : 1024);
        if (offset == 2048) effect->reset();
      }
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(effect->renderFailureCount(), 0);
  }
}
