#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "au/AudioUnitEffect.h"
#include "au/support/TestUnits.h"
#include "base/QuarError.h"

using namespace quar;
using namespace quar::test;

namespace {

PlatformComponent fakeComponent(uint32_t flags = 0) {
  return {{componentType::effect, fourCharCode("fk02"), fourCharCode("qtst"), flags, 0}, "Fake Unit", "Fake Maker", 1};
}

QuarError quarError(const std::function<void()>& body) {
  try {
    body();
  } catch (const QuarError& error) {
    return error;
  }
  ADD_FAILURE() << "no QuarError";
  return QuarError::cancelled();
}

// The value of a parameter on every instance: the main unit first, then the clones.
std::vector<float> valuesEverywhere(const AudioUnitEffect& effect, uint64_t address) {
  std::vector<float> values{effect.auAudioUnit()->parameterTree()->parameter(address)->value};
  for (const auto& clone : effect.cloneUnits()) values.push_back(clone->parameterTree()->parameter(address)->value);
  return values;
}

} // namespace

TEST(AudioUnitEffect, InstantiationTriesOutOfProcessFirstForVersion3Units) {
  struct Case {
    const char* label;
    uint32_t flags;
    bool loadsOutOfProcess;
    InstantiationOptions expected;
  };
  const Case cases[] = {
      {"version 3, loads out of process", componentFlagIsV3, true, InstantiationOptions::loadOutOfProcess},
      {"version 3, fails out of process", componentFlagIsV3, false, InstantiationOptions::none},
      {"version 2", 0, false, InstantiationOptions::none},
  };
  for (const auto& c : cases) {
    FakeUnitConfig unitConfig;
    unitConfig.loadsOutOfProcess = c.loadsOutOfProcess;
    FakeComponent component(fakeComponent(c.flags), unitConfig);
    auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
    EXPECT_EQ(effect->options(), c.expected) << c.label;
    EXPECT_FALSE(effect->isOutOfProcess()) << c.label;
    EXPECT_EQ(effect->descriptor(), descriptorOf(component.component));
    EXPECT_TRUE(effect->lanes().empty());
    EXPECT_EQ(effect->instanceChannelLayout(), AudioUnitEffect::ChannelLayout{});
    EXPECT_EQ(effect->sampleRate(), 48000.0);
  }
}

TEST(AudioUnitEffect, InstantiationFailuresAreCodecUnavailable) {
  const AudioUnitDescriptor ghost(componentType::effect, fourCharCode("gho5"), fourCharCode("none"), "Ghost",
                                  "Nobody", 1, false);
  const QuarError missing = quarError([&] { AudioUnitEffect::instantiate(ghost); });
  EXPECT_EQ(missing.kind(), QuarError::Kind::codecUnavailable);
  EXPECT_EQ(missing.errorDescription(), "Codec unavailable: The LV2 plug-in \u201CGhost\u201D by Nobody isn\u2019t installed.");

  FakeUnitConfig unitConfig;
  unitConfig.loadFailure = auStatus::failedInitialization;
  FakeComponent component(fakeComponent(componentFlagIsV3), unitConfig);
  const QuarError failed = quarError([&] { AudioUnitEffect::instantiate(descriptorOf(component.component)); });
  EXPECT_EQ(failed.kind(), QuarError::Kind::codecUnavailable);
  EXPECT_EQ(failed.message(), "Couldn\u2019t load the LV2 plug-in \u201CFake Unit\u201D: The fake unit failed to load. (-10875)");
}

TEST(AudioUnitEffect, ParametersAreSnapshotsOfTheVisibleControls) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  const auto parameters = effect->parameters();
  ASSERT_EQ(parameters.size(), 4u);  // the latency port is the host's
  EXPECT_EQ(parameters[0], (AUParameterInfo{0, "gain", "gain", "Gain", "dB", parameterUnit::decibels, -60, 24, 0, true,
                                            std::nullopt, false}));
  EXPECT_EQ(parameters[1].unitName, "Hz");
  EXPECT_TRUE(parameters[1].prefersLogarithmicDisplay);
  EXPECT_TRUE(parameters[2].isIndexed());
  EXPECT_EQ(parameters[2].valueStrings, (std::vector<std::string>{"Soft", "Medium", "Hard"}));
  EXPECT_TRUE(parameters[3].isBoolean());
  EXPECT_EQ(parameters[3].unitName, "");

  EXPECT_EQ(effect->parameterValue(1), 1000.0f);
  EXPECT_EQ(effect->parameterValue(4), std::nullopt);
  EXPECT_EQ(effect->displayString(2), "Soft");
  EXPECT_EQ(effect->displayString(2, 2.0f), "Hard");
  EXPECT_EQ(effect->displayString(0), std::nullopt);  // the plug-in has no text for it
  EXPECT_EQ(effect->displayString(99), std::nullopt);
  EXPECT_EQ(effect->makeViewController(), nullptr);

  // An enumeration whose points do not start at its minimum is no index.
  const auto stereo = lv2Effect(testPlugins + "stereo-gain")->parameters();
  ASSERT_EQ(stereo.size(), 2u);
  EXPECT_EQ(stereo[1].identifier, "colour");
  EXPECT_FALSE(stereo[1].isIndexed());
  EXPECT_EQ(stereo[1].valueStrings, std::nullopt);

  EXPECT_TRUE(lv2Effect(testPlugins + "splitter")->parameters().empty());
}

TEST(AudioUnitEffect, ParameterChangesReachEveryInstance) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  effect->prepare(48000, 3, 256);
  ASSERT_EQ(effect->cloneUnits().size(), 2u);
  struct Case {
    float value;
    float stored;
  };
  const Case cases[] = {{-12, -12}, {100, 24}, {-1000, -60}, {NAN, -60}, {INFINITY, -60}, {-INFINITY, -60}};
  for (const auto& c : cases) {
    effect->setParameter(0, c.value);
    EXPECT_EQ(valuesEverywhere(*effect, 0), std::vector<float>(3, c.stored)) << c.value;
  }
  effect->setParameter(77, 1);  // no such parameter: nothing happens

  // A change made on the main unit itself (its own editor) is forwarded to the clones.
  effect->auAudioUnit()->parameterTree()->setValue(2, 1);
  EXPECT_EQ(valuesEverywhere(*effect, 2), std::vector<float>(3, 1.0f));
}

TEST(AudioUnitEffect, PresetsListFactoryBeforeUserAndLoadOnEveryInstance) {
  auto effect = lv2Effect(mdaPlugins + "Detune");
  const auto names = effect->presetNames();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names.back(), "My Detune");  // from the bundle under ~/.lv2
  for (const char* factory : {"Stereo Detune", "Symphonic", "Out Of Tune"})
    EXPECT_NE(std::find(names.begin(), names.end() - 1, factory), names.end() - 1) << factory;
  EXPECT_EQ(effect->allPresets().back().number, -1);
  EXPECT_EQ(effect->currentPresetName(), std::nullopt);

  effect->prepare(44100, 4, 512);
  ASSERT_EQ(effect->cloneUnits().size(), 1u);
  effect->selectPreset("Out Of Tune");
  EXPECT_EQ(effect->currentPresetName(), "Out Of Tune");
  EXPECT_EQ(valuesEverywhere(*effect, 0), std::vector<float>(2, 0.8f));
  EXPECT_EQ(valuesEverywhere(*effect, 1), std::vector<float>(2, 0.7f));

  effect->selectPreset("No Such Preset");
  EXPECT_EQ(effect->currentPresetName(), "Out Of Tune");

  // A preset chosen on the main unit itself reaches the clone too.
  const auto presets = effect->allPresets();
  effect->auAudioUnit()->setCurrentPreset(presets.back());
  EXPECT_EQ(effect->currentPresetName(), "My Detune");
  EXPECT_EQ(valuesEverywhere(*effect, 0), std::vector<float>(2, 0.65f));
  EXPECT_EQ(valuesEverywhere(*effect, 1), std::vector<float>(2, 0.4f));
}

TEST(AudioUnitEffect, StateRoundTripsOntoAFreshInstanceAndItsClones) {
  auto source = lv2Effect(testPlugins + "mono-gain");
  source->setParameter(0, -12);
  source->setParameter(2, 2);
  Json changed = *source->auAudioUnit()->fullState();
  changed["properties"][0]["value"] = 42;  // the plug-in's own state-extension property
  source->auAudioUnit()->setFullState(changed);
  const auto data = source->stateData();
  ASSERT_TRUE(data.has_value());

  auto target = lv2Effect(testPlugins + "mono-gain");
  target->prepare(48000, 2, 256);
  target->restoreState(*data);
  EXPECT_EQ(target->stateData(), data);
  EXPECT_EQ(target->parameterValue(0), -12.0f);
  ASSERT_EQ(target->cloneUnits().size(), 1u);
  EXPECT_EQ(*target->cloneUnits()[0]->fullState(), changed);
}

TEST(AudioUnitEffect, UnusableStateIsADecodeError) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  const std::string before = *effect->stateData();

  const QuarError notObject = quarError([&] { effect->restoreState("[1, 2]"); });
  EXPECT_EQ(notObject.errorDescription(), "Couldn\u2019t read the audio: LV2 plug-in state isn\u2019t a dictionary");

  const QuarError garbage = quarError([&] { effect->restoreState("\x01garbage{"); });
  EXPECT_EQ(garbage.kind(), QuarError::Kind::decodeFailed);
  const std::string prefix = "LV2 plug-in state isn\u2019t a JSON document: ";
  EXPECT_EQ(garbage.message().substr(0, prefix.size()), prefix);
  EXPECT_GT(garbage.message().size(), prefix.size());
  EXPECT_EQ(garbage.message().find("json.exception"), std::string::npos) << garbage.message();

  const auto foreign = lv2Effect(testPlugins + "stereo-gain")->stateData();
  const QuarError other = quarError([&] { effect->restoreState(*foreign); });
  EXPECT_EQ(other.kind(), QuarError::Kind::decodeFailed);
  EXPECT_EQ(other.message(), "The state belongs to another LV2 plug-in (http://quarnel.invalid/lv2/stereo-gain).");
  EXPECT_EQ(effect->stateData(), before);
}

TEST(AudioUnitEffect, StateThatCannotBeWrittenIsAnErrorAndNoStateIsNone) {
  FakeComponent component(fakeComponent());
  auto effect = AudioUnitEffect::instantiate(descriptorOf(component.component));
  EXPECT_EQ(effect->stateData(), std::nullopt);

  dynamic_cast<FakeUnit&>(*effect->auAudioUnit()).state = Json{{"name", "\xFF\xFE"}};  // not UTF-8
  const QuarError error = quarError([&] { effect->stateData(); });
  EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
  const std::string prefix = "LV2 plug-in state couldn\u2019t be written as a JSON document: ";
  EXPECT_EQ(error.message().substr(0, prefix.size()), prefix);
}

TEST(AudioUnitEffect, TheOfflineFlagReachesEveryInstanceAndLaterClones) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  effect->prepare(48000, 2, 256);
  effect->setRendersOffline(true);
  effect->prepare(48000, 4, 256);
  ASSERT_EQ(effect->cloneUnits().size(), 3u);
  EXPECT_TRUE(effect->rendersOffline());
  for (const auto& clone : effect->cloneUnits()) EXPECT_TRUE(clone->isRenderingOffline());
  effect->setRendersOffline(false);
  for (const auto& clone : effect->cloneUnits()) EXPECT_FALSE(clone->isRenderingOffline());
}

TEST(AudioUnitEffect, ReleasingTheEffectDeallocatesEveryInstanceAndStopsForwarding) {
  auto effect = lv2Effect(testPlugins + "mono-gain");
  effect->prepare(48000, 2, 256);
  const auto main = effect->auAudioUnit();
  const auto clone = effect->cloneUnits()[0];
  effect.reset();
  EXPECT_FALSE(main->renderResourcesAllocated());
  EXPECT_FALSE(clone->renderResourcesAllocated());
  main->parameterTree()->setValue(0, -3);
  EXPECT_EQ(clone->parameterTree()->parameter(0)->value, 0.0f);
}
