#include <gtest/gtest.h>

#include "PlaybackTestSupport.h"
#include "playback/PreviewEffectsState.h"
#include "playback/PreviewRuntime.h"

using namespace PlaybackTestSupport;

namespace {

using Processors = std::vector<std::shared_ptr<quar::EffectProcessor>>;

// Planar test audio: channel c, frame f = ramp(c, f).
struct Audio {
  Audio(int channels, int frames) : samples(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames))) {
    for (int c = 0; c < channels; ++c)
      for (int f = 0; f < frames; ++f) samples[c][f] = ramp(c, f);
    for (auto& s : samples) pointers.push_back(s.data());
  }
  std::vector<std::vector<float>> samples;
  std::vector<float*> pointers;
};

} // namespace

TEST(PreviewRuntimeTest, MismatchedRequestsPassUnchanged) {
  struct Case {
    int channels;
    int frames;
  };
  for (const Case c : {Case{1, 256}, Case{3, 256}, Case{2, 4097}}) {
    PreviewRuntime runtime({std::make_shared<ScaleEffect>(0.5f)}, {true}, 2, 4096);
    Audio audio(c.channels, c.frames);
    const auto before = audio.samples;
    runtime.process(audio.pointers.data(), c.channels, c.frames);
    EXPECT_EQ(audio.samples, before) << c.channels << " " << c.frames;
  }
}

TEST(PreviewRuntimeTest, MaskedChannelsStayDry) {
  PreviewEffectsState state;
  state.runtime = std::make_shared<PreviewRuntime>(
      Processors{std::make_shared<ScaleEffect>(0.5f), std::make_shared<ScaleEffect>(0.5f)}, std::vector<bool>{true, true}, 2,
      4096);
  state.processMask = {true, false};
  state.syncRuntime();
  Audio audio(2, 4096);
  const auto before = audio.samples;
  state.runtime->process(audio.pointers.data(), 2, 4096);
  EXPECT_EQ(audio.samples[1], before[1]);
  EXPECT_EQ(audio.samples[0][100], before[0][100] * 0.25f);
}

TEST(PreviewRuntimeTest, DisabledProcessorsAreSkipped) {
  PreviewRuntime runtime({std::make_shared<ScaleEffect>(0.5f), std::make_shared<ScaleEffect>(0.25f)}, {false, true}, 1, 64);
  Audio audio(1, 64);
  const float first = audio.samples[0][1];
  runtime.process(audio.pointers.data(), 1, 64);
  EXPECT_EQ(audio.samples[0][1], first * 0.25f);
  PreviewRuntime off({std::make_shared<ScaleEffect>(0.5f)}, {false}, 1, 64);
  Audio dry(1, 64);
  const auto before = dry.samples;
  off.process(dry.pointers.data(), 1, 64);
  EXPECT_EQ(dry.samples, before);
}

TEST(PreviewRuntimeTest, SyncAppliesOnlyChangedVersions) {
  auto configurable = std::make_shared<ScaleEffect>(1.0f);
  int probed = 0;
  auto plugIn = std::make_shared<ProbeEffect>([&] { ++probed; });
  PreviewEffectsState state;
  state.runtime = std::make_shared<PreviewRuntime>(Processors{configurable, plugIn}, std::vector<bool>{false, false}, 2, 64);
  state.settings = {scaleSettings(0.5), std::nullopt};
  state.enabled = {true, true};
  state.versions = {1, 1};
  state.syncRuntime();
  EXPECT_EQ(configurable->applied, 1);
  EXPECT_EQ(configurable->factor, 0.5f);
  EXPECT_EQ(state.runtime->enabled(), (std::vector<bool>{true, true}));  // the plug-in slot too
  EXPECT_EQ(state.runtime->appliedVersions(), (std::vector<int64_t>{1, 1}));

  // Unchanged versions apply nothing, whatever else was published.
  state.settings = {scaleSettings(0.1), std::nullopt};
  state.enabled = {false, false};
  state.syncRuntime();
  EXPECT_EQ(configurable->applied, 1);
  EXPECT_EQ(state.runtime->enabled(), (std::vector<bool>{true, true}));

  // A raised version re-applies that slot alone.
  state.versions = {1, 2};
  state.syncRuntime();
  EXPECT_EQ(configurable->applied, 1);
  EXPECT_EQ(state.runtime->enabled(), (std::vector<bool>{true, false}));
  EXPECT_EQ(state.runtime->appliedVersions(), (std::vector<int64_t>{1, 2}));
}

TEST(PreviewRuntimeTest, SyncStaysWithinEveryPublishedList) {
  auto a = std::make_shared<ScaleEffect>(1.0f), b = std::make_shared<ScaleEffect>(1.0f), c = std::make_shared<ScaleEffect>(1.0f);
  PreviewEffectsState state;
  state.runtime = std::make_shared<PreviewRuntime>(Processors{a, b, c}, std::vector<bool>{false, false, false}, 2, 64);
  state.settings = {scaleSettings(0.5)};
  state.enabled = {true, true};
  state.versions = {1, 1, 1, 1};
  state.processMask = {false, true, true};  // another channel count: left alone
  state.syncRuntime();
  EXPECT_EQ(a->applied, 1);
  EXPECT_EQ(b->applied + c->applied, 0);
  EXPECT_EQ(state.runtime->appliedVersions(), (std::vector<int64_t>{1, 0, 0}));
  EXPECT_EQ(state.runtime->enabled(), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(state.runtime->processMask(), (std::vector<bool>{true, true}));

  // An empty mask is left alone too; one of the runtime's channel count is copied.
  state.processMask = {};
  state.syncRuntime();
  EXPECT_EQ(state.runtime->processMask(), (std::vector<bool>{true, true}));
  state.processMask = {true, false};
  state.syncRuntime();
  EXPECT_EQ(state.runtime->processMask(), (std::vector<bool>{true, false}));

  // Without a runtime nothing happens.
  state.runtime.reset();
  state.syncRuntime();
}
