// The processors the rack builds for applying it: fresh ones, plug-ins carrying their live state.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThreadPool>

#include <exception>
#include <memory>

#include "../playback/PlaybackTestSupport.h"
#include "RackTestSupport.h"
#include "au/support/TestUnits.h"
#include "dsp/effects/EffectFactory.h"
#include "dsp/effects/processors/EQProcessor.h"
#include "dsp/effects/processors/ReverbProcessor.h"
#include "platform/ErrorAlert.h"
#include "platform/JobPool.h"

using namespace RackTestSupport;
using quar::AudioUnitEffect;
using quar::EffectKind;
using quar::defaultSettings;
using quar::test::descriptorOf;
using quar::test::lv2Component;
using quar::test::testPlugins;

namespace {

struct Outcome {
  std::shared_ptr<ProcessorHandoff> handoff;
  std::exception_ptr error;
};

// Builds the rack's offline chain and waits for its outcome, which never arrives during the call.
Outcome buildChain(EffectsRack& rack) {
  auto outcome = std::make_shared<std::optional<Outcome>>();
  rack.makeOfflineChain([outcome](std::shared_ptr<ProcessorHandoff> handoff) { *outcome = Outcome{handoff, nullptr}; },
                        [outcome](std::exception_ptr error) { *outcome = Outcome{nullptr, error}; });
  EXPECT_FALSE(outcome->has_value());
  EXPECT_TRUE(QTest::qWaitFor([&] { return outcome->has_value(); }, 20000));
  return outcome->value_or(Outcome{});
}

// A block of test signal through a processor prepared at 48 kHz stereo.
std::vector<float> rendered(quar::EffectProcessor& processor) {
  constexpr int frames = 512;
  std::vector<std::vector<float>> channels(2, std::vector<float>(frames));
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < frames; ++i) channels[static_cast<size_t>(c)][static_cast<size_t>(i)] = PlaybackTestSupport::ramp(c, i);
  float* pointers[] = {channels[0].data(), channels[1].data()};
  processor.prepare(48000, 2, frames);
  processor.reset();
  processor.process(pointers, 2, frames);
  return channels[0];
}

std::shared_ptr<AudioUnitEffect> loadedUnit(EffectsRack& rack, const std::string& plugin) {
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + plugin)));
  EXPECT_TRUE(waitForLoads(rack));
  const auto unit = rack.audioUnits().find(rack.slots().back().id);
  return unit == rack.audioUnits().end() ? nullptr : unit->second;
}

} // namespace

TEST(EffectsRackOfflineChain, FreshBuiltinProcessorsForTheEnabledSlotsOnly) {
  EffectsRack rack;
  auto state = std::make_shared<RenderState>();
  rack.add(defaultSettings(EffectKind::eq));
  rack.add(defaultSettings(EffectKind::delay));
  rack.add(defaultSettings(EffectKind::reverb));
  std::vector<EffectSlot> slots = rack.slots();
  slots[1].isEnabled = false;
  std::get<quar::ReverbSettings>(std::get<quar::EffectSettings>(slots[2].source)).mix = 1.0;
  rack.setSlots(slots);
  rack.activate(state, 48000, 2);

  const Outcome outcome = buildChain(rack);
  ASSERT_NE(outcome.handoff, nullptr);
  const auto& chain = outcome.handoff->chain;
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_NE(dynamic_cast<quar::EQProcessor*>(chain[0].get()), nullptr);
  ASSERT_NE(dynamic_cast<quar::ReverbProcessor*>(chain[1].get()), nullptr);
  for (const auto& processor : chain) EXPECT_EQ(processor.use_count(), 1);  // the preview shares none
  const auto expected = quar::EffectFactory::makeProcessor(*rack.slots()[2].settings());
  EXPECT_EQ(rendered(*chain[1]), rendered(*expected));  // the slot's current settings
}

TEST(EffectsRackOfflineChain, APlugInSlotGetsANewInstanceWithTheLiveInstancesState) {
  EffectsRack rack;
  const std::shared_ptr<AudioUnitEffect> live = loadedUnit(rack, "mono-gain");
  ASSERT_NE(live, nullptr);
  live->setParameter(0, -12);
  quar::Json changed = *live->auAudioUnit()->fullState();
  changed["properties"][0]["value"] = 42;  // the plug-in's own state-extension property
  live->auAudioUnit()->setFullState(changed);
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "mono-gain")));  // still loading below

  const Outcome outcome = buildChain(rack);
  ASSERT_NE(outcome.handoff, nullptr);
  ASSERT_EQ(outcome.handoff->chain.size(), 2u);
  auto* copy = dynamic_cast<AudioUnitEffect*>(outcome.handoff->chain[0].get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, live.get());
  EXPECT_EQ(copy->stateData(), live->stateData());
  EXPECT_EQ(copy->parameterValue(0), -12.0f);
  EXPECT_TRUE(copy->rendersOffline());
  EXPECT_FALSE(live->rendersOffline());

  auto* fresh = dynamic_cast<AudioUnitEffect*>(outcome.handoff->chain[1].get());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->parameterValue(0), 0.0f);  // no live instance yet: the default state
  EXPECT_TRUE(fresh->rendersOffline());
  ASSERT_TRUE(waitForLoads(rack));
}

TEST(EffectsRackOfflineChain, APlugInThatCannotBeCopiedStopsTheChainWithItsError) {
  EffectsRack rack;
  rack.add(defaultSettings(EffectKind::eq));
  // The mono gain cannot save a negative memo: its live state is not silently dropped.
  const std::shared_ptr<AudioUnitEffect> unsaveable = loadedUnit(rack, "mono-gain");
  ASSERT_NE(unsaveable, nullptr);
  quar::Json negative = *unsaveable->auAudioUnit()->fullState();
  negative["properties"][0]["value"] = -5;
  unsaveable->auAudioUnit()->setFullState(negative);

  Outcome outcome = buildChain(rack);
  EXPECT_EQ(outcome.handoff, nullptr);
  EXPECT_TRUE(ErrorAlert::description(outcome.error)
                  .startsWith(QString::fromUtf8("Couldn’t write the audio: LV2 plug-in state couldn’t be written as a "
                                                "JSON document: ")))
      << ErrorAlert::description(outcome.error).toStdString();

  // A plug-in of which no second instance can be made.
  quar::test::FakeUnitConfig single;
  single.instanceLimit = 1;
  quar::test::FakeComponent component(
      {{quar::componentType::effect, quar::fourCharCode("fk34"), quar::fourCharCode("qtst"), 0, 0}, "Fake Unit",
       "Fake Maker", 1},
      single);
  rack.removeAll();
  rack.addAudioUnit(descriptorOf(component.component));
  ASSERT_TRUE(waitForLoads(rack));
  ASSERT_EQ(rack.audioUnits().size(), 1u);
  outcome = buildChain(rack);
  EXPECT_EQ(outcome.handoff, nullptr);
  EXPECT_TRUE(ErrorAlert::description(outcome.error).contains("No more fake units."))
      << ErrorAlert::description(outcome.error).toStdString();
}

TEST(EffectsRackOfflineChain, NothingArrivesWhenTheRackIsGone) {
  auto rack = std::make_unique<EffectsRack>();
  rack->addAudioUnit(descriptorOf(lv2Component(testPlugins + "stereo-gain")));
  bool called = false;
  rack->makeOfflineChain([&](std::shared_ptr<ProcessorHandoff>) { called = true; },
                         [&](std::exception_ptr) { called = true; });
  rack.reset();
  JobPool::userInitiated().waitForDone();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(called);
}
