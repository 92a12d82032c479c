#include <gtest/gtest.h>

#include <cmath>

#include "au/platform/AUFormat.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/Lv2Plugins.h"
#include "au/platform/Lv2Unit.h"
#include "au/platform/PlatformError.h"
#include "au/platform/RenderLane.h"
#include "au/platform/TimePitchComponent.h"
#include "au/support/TestUnits.h"
#include "base/QuarError.h"

using namespace quar;
using namespace quar::test;

namespace {

const float halfGainDB = static_cast<float>(20 * std::log10(0.5));

double instanceRate(const std::shared_ptr<PlatformUnit>& unit) {
  return dynamic_cast<Lv2Unit&>(*unit).instanceSampleRate();
}

PlatformError platformError(const std::function<void()>& body) {
  try {
    body();
  } catch (const PlatformError& error) {
    return error;
  }
  ADD_FAILURE() << "no PlatformError";
  return {0, ""};
}

} // namespace

TEST(Lv2Unit, AcceptsItsOwnChannelConfigurationOnly) {
  struct Case {
    const char* plugin;
    int in, out;
    int refusedIn, refusedOut;
  };
  const Case cases[] = {{"mono-gain", 1, 1, 2, 2}, {"stereo-gain", 2, 2, 1, 1}, {"splitter", 1, 2, 2, 2}};
  for (const auto& c : cases) {
    auto unit = makeLv2Unit(testPlugins + c.plugin);
    EXPECT_NO_THROW(AUFormat::configure(*unit, 48000, c.in, c.out, 512)) << c.plugin;
    EXPECT_TRUE(unit->renderResourcesAllocated());
    const auto error = platformError([&] { AUFormat::configure(*unit, 48000, c.refusedIn, c.refusedOut, 512); });
    EXPECT_EQ(error.code(), -10868) << c.plugin;
    EXPECT_NE(error.localizedDescription().find("LV2 plug-in"), std::string::npos) << error.localizedDescription();
    EXPECT_FALSE(unit->renderResourcesAllocated());
  }
}

TEST(Lv2Unit, AGeneratorHasNoInputBus) {
  auto unit = makeLv2Unit(testPlugins + "generator");
  EXPECT_EQ(unit->inputBusCount(), 0);
  EXPECT_EQ(unit->outputBusCount(), 1);
  try {
    AUFormat::configure(*unit, 44100, 1, 2, 256);
    FAIL() << "no error";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.errorDescription(), "Unsupported format: \u201CTest Generator\u201D has no input bus");
  }
  AUFormat::configure(*unit, 44100, 0, 2, 256);
  RenderLane lane(unit, 0, 2);
  ASSERT_EQ(lane.render(256), 0);
  EXPECT_EQ(lane.output(0)[0], 0.25f);
  EXPECT_EQ(lane.output(1)[255], 0.25f);
}

TEST(Lv2Unit, APlugInNeedingAnUnprovidedFeatureFailsToLoadNamingIt) {
  const auto error = platformError([] { makeLv2Unit(testPlugins + "needs-worker"); });
  EXPECT_EQ(error.code(), -10875);
  EXPECT_EQ(error.localizedDescription(),
            "The LV2 plug-in \u201CTest Needs Worker\u201D requires the feature "
            "\u201Chttp://lv2plug.in/ns/ext/worker#schedule\u201D, which this host doesn\u2019t provide.");
}

TEST(Lv2Unit, RenderingThroughTheGainAtMinusSixDecibelsHalvesTheAmplitude) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  unit->parameterTree()->setValue(0, halfGainDB);
  AUFormat::configure(*unit, 48000, 1, 1, 4096);
  RenderLane lane(unit, 1, 1);
  ASSERT_EQ(lane.maxFrames, 4096);
  for (int i = 0; i < 4096; ++i) lane.input[0][i] = 0.8f * std::sin(0.01f * static_cast<float>(i));
  ASSERT_EQ(lane.render(4096), 0);
  for (int i = 0; i < 4096; ++i) ASSERT_NEAR(lane.output(0)[i], lane.input[0][i] * 0.5f, 1e-6f) << i;
  EXPECT_EQ(lane.timeStamp.mSampleTime, 4096.0);

  // More frames than the limit are refused by the unit too.
  AudioUnitRenderActionFlags flags = 0;
  EXPECT_EQ(lane.renderBlock(&flags, &lane.timeStamp, 4097, 0, lane.outputList.get(), &*lane.pullBlock), -10874);
}

TEST(Lv2Unit, ReconfiguringAtAnotherRateMakesANewInstanceAndKeepsValuesAndState) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  EXPECT_EQ(instanceRate(unit), 48000.0);
  AUFormat::configure(*unit, 48000, 1, 1, 512);
  unit->parameterTree()->setValue(0, halfGainDB);
  unit->parameterTree()->setValue(2, 1);
  Json state = *unit->fullState();
  state["properties"][0]["value"] = 42;
  unit->setFullState(state);

  AUFormat::configure(*unit, 44100, 1, 1, 512);
  EXPECT_EQ(instanceRate(unit), 44100.0);
  EXPECT_EQ(unit->parameterTree()->parameter(0)->value, halfGainDB);
  EXPECT_EQ(unit->parameterTree()->parameter(2)->value, 1.0f);
  EXPECT_EQ((*unit->fullState())["properties"][0]["value"], 42);
  EXPECT_DOUBLE_EQ(unit->latency(), 64.0 / 44100.0);

  RenderLane lane(unit, 1, 1);
  for (int i = 0; i < 512; ++i) lane.input[0][i] = 1;
  ASSERT_EQ(lane.render(512), 0);
  EXPECT_NEAR(lane.output(0)[511], 0.5f, 1e-6f);
}

// A state that cannot be saved, or that the new instance refuses, fails the reconfiguration
// and keeps the current instance with its state; it is never silently dropped.
TEST(Lv2Unit, StateThatCannotMoveToANewInstanceKeepsTheCurrentOne) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  AUFormat::configure(*unit, 48000, 1, 1, 512);
  Json state = *unit->fullState();
  state["properties"][0]["value"] = 40000;  // refused below 40 kHz
  unit->setFullState(state);
  const PlatformError refused = platformError([&] { AUFormat::configure(*unit, 32000, 1, 1, 512); });
  EXPECT_EQ(refused.code(), -10875);
  EXPECT_EQ(refused.localizedDescription(),
            "The LV2 plug-in \u201CTest Mono Gain\u201D refused its own state when reloaded (status 1).");
  EXPECT_EQ(instanceRate(unit), 48000.0);
  EXPECT_EQ((*unit->fullState())["properties"][0]["value"], 40000);

  state["properties"][0]["value"] = -1;  // cannot be saved
  unit->setFullState(state);
  const PlatformError unsaved = platformError([&] { AUFormat::configure(*unit, 44100, 1, 1, 512); });
  EXPECT_EQ(unsaved.localizedDescription(),
            "The LV2 plug-in \u201CTest Mono Gain\u201D couldn\u2019t save its state (status 1).");
  EXPECT_EQ(instanceRate(unit), 48000.0);
  EXPECT_EQ(platformError([&] { unit->fullState(); }).localizedDescription(), unsaved.localizedDescription());

  state["properties"][0]["value"] = 5;  // the unit still works
  unit->setFullState(state);
  AUFormat::configure(*unit, 44100, 1, 1, 512);
  EXPECT_EQ(instanceRate(unit), 44100.0);
  EXPECT_EQ((*unit->fullState())["properties"][0]["value"], 5);
}

TEST(Lv2Unit, ParametersAreTheVisibleControlPorts) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  PlatformParameterTree* tree = unit->parameterTree();
  ASSERT_NE(tree, nullptr);
  const auto parameters = tree->allParameters();
  ASSERT_EQ(parameters.size(), 4u);  // the latency port is hidden
  const uint32_t writable = parameterFlag::isReadable | parameterFlag::isWritable;
  EXPECT_EQ(parameters[0], (PlatformParameter{0, "gain", "gain", "Gain", std::nullopt, parameterUnit::decibels, -60, 24,
                                              0, writable, std::nullopt}));
  EXPECT_EQ(parameters[1].unit, parameterUnit::hertz);
  EXPECT_EQ(parameters[1].flags, writable | parameterFlag::displayLogarithmic);
  EXPECT_EQ(parameters[1].value, 1000.0f);
  EXPECT_EQ(parameters[2].unit, parameterUnit::indexed);
  EXPECT_EQ(parameters[2].valueStrings, (std::vector<std::string>{"Soft", "Medium", "Hard"}));
  EXPECT_EQ(parameters[3].unit, parameterUnit::boolean);
  EXPECT_EQ(tree->stringFromValue(2, 1), "Medium");
  EXPECT_EQ(tree->stringFromValue(0, 1), "");
  EXPECT_EQ(tree->parameter(4), std::nullopt);

  std::vector<std::pair<uint64_t, float>> seen;
  const int64_t token = tree->addObserver([&](uint64_t address, float value) { seen.emplace_back(address, value); });
  tree->setValue(3, 1);
  tree->removeObserver(token);
  tree->setValue(3, 0);
  EXPECT_EQ(seen, (std::vector<std::pair<uint64_t, float>>{{3, 1.0f}}));

  EXPECT_EQ(makeLv2Unit(testPlugins + "splitter")->parameterTree(), nullptr);
}

TEST(Lv2Unit, FullStateIsJsonOfControlsAndProperties) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  const Json state = *unit->fullState();
  EXPECT_EQ(state["plugin"], testPlugins + "mono-gain");
  EXPECT_EQ(state["controls"], Json::parse(R"({"gain":0.0,"frequency":1000.0,"mode":0.0,"bypass":0.0})"));
  EXPECT_EQ(state["properties"], Json::parse(R"([{"key":"http://quarnel.invalid/lv2/mono-gain#memo",
    "type":"http://lv2plug.in/ns/ext/atom#Int","value":7}])"));

  auto other = makeLv2Unit(testPlugins + "mono-gain");
  Json changed = state;
  changed["controls"]["gain"] = -12.0;
  changed["properties"][0]["value"] = 9;
  other->setFullState(changed);
  EXPECT_EQ(*other->fullState(), changed);

  Json foreign = state;
  foreign["plugin"] = testPlugins + "stereo-gain";
  EXPECT_EQ(platformError([&] { other->setFullState(foreign); }).code(), -10878);
  EXPECT_EQ(platformError([&] { other->setFullState(Json::array()); }).code(), -10878);
  Json badValue = state;  // nothing of a refused state is applied
  badValue["controls"]["bypass"] = 1.0;
  badValue["controls"]["gain"] = "loud";
  EXPECT_EQ(platformError([&] { other->setFullState(badValue); }).code(), -10878);
  EXPECT_EQ(*other->fullState(), changed);

  Json refused = changed;  // well formed, but the plug-in's own restore refuses a float memo
  refused["properties"][0]["type"] = "http://lv2plug.in/ns/ext/atom#Float";
  refused["properties"][0]["value"] = 1.5;
  const PlatformError error = platformError([&] { other->setFullState(refused); });
  EXPECT_EQ(error.code(), -10878);
  EXPECT_EQ(error.localizedDescription(), "The LV2 plug-in \u201CTest Mono Gain\u201D refused the state (status 2).");
}

TEST(Lv2Unit, PresetsLoadValuesAndNotify) {
  auto unit = makeLv2Unit(testPlugins + "mono-gain");
  EXPECT_EQ(unit->factoryPresets(), (std::vector<PlatformPreset>{{0, "Half"}}));
  EXPECT_TRUE(unit->userPresets().empty());
  EXPECT_EQ(unit->currentPreset(), std::nullopt);
  int notified = 0;
  unit->setPresetObserver([&] { ++notified; });
  unit->setCurrentPreset({5, "Missing"});
  EXPECT_EQ(notified, 0);
  unit->setCurrentPreset({0, "Half"});
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(unit->currentPreset(), (PlatformPreset{0, "Half"}));
  EXPECT_NEAR(unit->parameterTree()->parameter(0)->value, halfGainDB, 1e-4f);
  EXPECT_EQ(unit->parameterTree()->parameter(2)->value, 2.0f);
}

TEST(Lv2Unit, RendersAThirdPartyPlugIn) {
  auto unit = makeLv2Unit("http://drobilla.net/plugins/mda/Delay");
  EXPECT_EQ(unit->audioUnitName(), "MDA Delay");
  EXPECT_EQ(unit->tailTime(), 10.0);
  EXPECT_FALSE(unit->parameterTree()->allParameters().empty());
  AUFormat::configure(*unit, 44100, 2, 2, 1024);
  RenderLane lane(unit, 2, 2);
  lane.input[0][0] = 1;
  lane.input[1][0] = 1;
  double energy = 0;
  for (int block = 0; block < 40; ++block) {
    ASSERT_EQ(lane.render(1024), 0);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < 1024; ++i) {
        ASSERT_TRUE(std::isfinite(lane.output(c)[i]));
        energy += lane.output(c)[i] * lane.output(c)[i];
      }
    lane.input[0][0] = lane.input[1][0] = 0;
  }
  EXPECT_GT(energy, 0.0);
  unit->reset();
  EXPECT_EQ(lane.render(1024), 0);
}

TEST(Lv2Unit, EveryInstalledMdaEffectLoadsAndRenders) {
  int rendered = 0;
  for (const auto& component : ComponentManager::components({componentType::effect, 0, 0, 0, 0})) {
    const auto uri = lv2::pluginURI(component.description);
    if (!uri || uri->rfind("http://drobilla.net/plugins/mda/", 0) != 0) continue;
    auto unit = ComponentManager::instantiate(component.description);
    std::optional<std::pair<int, int>> layout;
    for (auto [in, out] : {std::pair{2, 2}, {1, 1}, {1, 2}, {2, 1}}) {
      try {
        AUFormat::configure(*unit, 44100, in, out, 256);
        layout = {in, out};
        break;
      } catch (const PlatformError&) {
      }
    }
    ASSERT_TRUE(layout) << *uri;
    RenderLane lane(unit, layout->first, layout->second);
    for (int c = 0; c < layout->first; ++c)
      for (int i = 0; i < 256; ++i) lane.input[static_cast<size_t>(c)][i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    ASSERT_EQ(lane.render(256), 0) << *uri;
    for (int c = 0; c < layout->second; ++c)
      for (int i = 0; i < 256; ++i) ASSERT_TRUE(std::isfinite(lane.output(c)[i])) << *uri;
    ++rendered;
  }
  EXPECT_GT(rendered, 20);
}

TEST(Lv2Unit, UnknownComponentsAndTheTimePitchPlaceholderFailCleanly) {
  EXPECT_EQ(platformError([] { ComponentManager::instantiate({componentType::effect, 1, 2, 0, 0}); }).code(), -3000);
  ASSERT_TRUE(ComponentManager::findNext(timePitch::description).has_value());
  EXPECT_EQ(ComponentManager::findNext(timePitch::description)->name, "Quarnel Time-Pitch");
}
