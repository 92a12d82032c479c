// The rack as a model: slot operations, observation and loading plug-ins.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThreadPool>

#include <limits>

#include "RackTestSupport.h"
#include "au/support/TestUnits.h"
#include "effects/EffectsRack.h"
#include "platform/JobPool.h"
#include "platform/ObservationScope.h"

using namespace RackTestSupport;
using quar::EffectKind;
using quar::defaultSettings;
using quar::test::descriptorOf;
using quar::test::lv2Component;
using quar::test::testPlugins;

namespace {

std::vector<quar::Uuid> ids(const EffectsRack& rack) {
  std::vector<quar::Uuid> result;
  for (const EffectSlot& slot : rack.slots()) result.push_back(slot.id);
  return result;
}

// Lets every plug-in load finish and its completion run.
void settleLoads() {
  JobPool::userInitiated().waitForDone();
  QCoreApplication::sendPostedEvents();
}

} // namespace

TEST(EffectsRack, StartsEmptyWithPreviewOn) {
  EffectsRack rack;
  EXPECT_TRUE(rack.slots().empty());
  EXPECT_TRUE(rack.previewEnabled());
  EXPECT_EQ(rack.tailMode(), quar::EffectTailMode::mixIntoFollowing);
  EXPECT_EQ(rack.expandedSlotID(), std::nullopt);
  EXPECT_EQ(rack.lastError(), std::nullopt);
  EXPECT_TRUE(rack.processMask().empty());
}

TEST(EffectsRack, ChainNameJoinsTheEnabledSlotsOrSaysEffects) {
  EffectsRack rack;
  EXPECT_EQ(rack.chainName(), "Effects");
  rack.add(defaultSettings(EffectKind::eq));
  rack.add(defaultSettings(EffectKind::delay));
  rack.add(defaultSettings(EffectKind::reverb));
  rack.setSlots(edited(rack, 1, [](EffectSlot& slot) { slot.isEnabled = false; }));
  EXPECT_EQ(rack.chainName(), "Parametric EQ + Reverb");
  ASSERT_EQ(rack.activeSlots().size(), 2u);
  EXPECT_EQ(rack.activeSlots()[1].id, rack.slots()[2].id);

  std::vector<EffectSlot> off = rack.slots();
  for (EffectSlot& slot : off) slot.isEnabled = false;
  rack.setSlots(off);
  EXPECT_EQ(rack.chainName(), "Effects");
  EXPECT_TRUE(rack.activeSlots().empty());
}

TEST(EffectsRack, AddAppendsAnEnabledSlotAndExpandsIt) {
  EffectsRack rack;
  rack.add(defaultSettings(EffectKind::gate));
  rack.add(defaultSettings(EffectKind::chorus));
  ASSERT_EQ(rack.slots().size(), 2u);
  EXPECT_EQ(quar::kind(*rack.slots()[1].settings()), EffectKind::chorus);
  EXPECT_TRUE(rack.slots()[1].isEnabled);
  EXPECT_EQ(rack.expandedSlotID(), rack.slots()[1].id);
}

TEST(EffectsRack, MoveExchangesWithTheClampedTarget) {
  struct Case {
    size_t from;
    int offset;
    std::vector<size_t> order;  // of the original slots afterwards
  };
  const Case cases[] = {
      {0, 5, {2, 1, 0}},   // an exchange, not a shift
      {0, -1, {0, 1, 2}},  // already first
      {2, 1, {0, 1, 2}},   // already last
      {1, -1, {1, 0, 2}},
      {2, -2, {2, 1, 0}},
      {1, std::numeric_limits<int>::min(), {1, 0, 2}},
  };
  for (const Case& c : cases) {
    EffectsRack rack;
    for (EffectKind kind : {EffectKind::eq, EffectKind::delay, EffectKind::reverb}) rack.add(defaultSettings(kind));
    const std::vector<quar::Uuid> before = ids(rack);
    QSignalSpy changes(&rack, &EffectsRack::changed);
    rack.move(before[c.from], c.offset);
    std::vector<quar::Uuid> expected;
    for (size_t i : c.order) expected.push_back(before[i]);
    EXPECT_EQ(ids(rack), expected) << "from " << c.from << " by " << c.offset;
    EXPECT_EQ(changes.count(), expected == before ? 0 : 1);
  }
}

TEST(EffectsRack, UnknownIdsChangeNothing) {
  EffectsRack rack;
  rack.add(defaultSettings(EffectKind::eq));
  rack.add(defaultSettings(EffectKind::reverb));
  const std::vector<EffectSlot> before = rack.slots();
  QSignalSpy changes(&rack, &EffectsRack::changed);
  rack.move(quar::Uuid::random(), 1);
  rack.remove(quar::Uuid::random());
  EXPECT_EQ(rack.slots(), before);
  EXPECT_EQ(changes.count(), 0);
}

TEST(EffectsRack, RemoveAndRemoveAllKeepTheExpandedSlotAndTheError) {
  EffectsRack rack;
  rack.add(defaultSettings(EffectKind::eq));
  rack.add(defaultSettings(EffectKind::reverb));
  const quar::Uuid first = rack.slots()[0].id, second = rack.slots()[1].id;
  rack.remove(first);
  EXPECT_EQ(ids(rack), std::vector<quar::Uuid>{second});
  EXPECT_EQ(rack.expandedSlotID(), second);
  rack.remove(second);
  EXPECT_EQ(rack.expandedSlotID(), second);

  rack.add(defaultSettings(EffectKind::delay));
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "needs-worker")));
  ASSERT_TRUE(waitForLoads(rack));
  ASSERT_TRUE(rack.lastError().has_value());
  rack.removeAll();
  EXPECT_TRUE(rack.slots().empty());
  EXPECT_TRUE(rack.lastError().has_value());
  rack.dismissError();
  EXPECT_EQ(rack.lastError(), std::nullopt);
}

TEST(EffectsRack, SettersNotifyOnlyChangesAndGettersAreTracked) {
  EffectsRack rack;
  QSignalSpy changes(&rack, &EffectsRack::changed);
  rack.setTailMode(quar::EffectTailMode::truncate);
  rack.setTailMode(quar::EffectTailMode::truncate);
  rack.setPreviewEnabled(true);
  rack.setPreviewEnabled(false);
  rack.setProcessMask({true, false});
  rack.setProcessMask({true, false});
  ASSERT_EQ(changes.count(), 3);
  EXPECT_EQ(changes[0][0].value<EffectsRack::Property>(), EffectsRack::Property::tailMode);
  EXPECT_EQ(changes[1][0].value<EffectsRack::Property>(), EffectsRack::Property::previewEnabled);
  EXPECT_EQ(changes[2][0].value<EffectsRack::Property>(), EffectsRack::Property::processMask);

  ObservationScope scope;
  (void)rack.chainName();
  (void)rack.loadingSlots();
  const ObservationScope::ReadSet expected{{&rack, static_cast<int>(EffectsRack::Property::slots)},
                                           {&rack, static_cast<int>(EffectsRack::Property::loadingSlots)}};
  EXPECT_EQ(scope.reads(), expected);
}

TEST(EffectsRack, APlugInSlotShowsAtOnceAndGetsItsInstanceInTheBackground) {
  EffectsRack rack;
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "mono-gain")));
  ASSERT_EQ(rack.slots().size(), 1u);
  const quar::Uuid id = rack.slots()[0].id;
  EXPECT_EQ(rack.slots()[0].displayName(), "Test Mono Gain");
  EXPECT_EQ(rack.loadingSlots(), std::set<quar::Uuid>{id});
  EXPECT_EQ(rack.expandedSlotID(), id);
  EXPECT_TRUE(rack.audioUnits().empty());

  ASSERT_TRUE(waitForLoads(rack));
  ASSERT_TRUE(rack.audioUnits().contains(id));
  EXPECT_EQ(rack.audioUnits().at(id)->descriptor().name, "Test Mono Gain");
  EXPECT_EQ(rack.lastError(), std::nullopt);

  rack.remove(id);
  EXPECT_TRUE(rack.audioUnits().empty());
}

TEST(EffectsRack, AFailedLoadRemovesTheSlotAndReportsIt) {
  EffectsRack rack;
  rack.add(defaultSettings(EffectKind::eq));
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "needs-worker")));
  const quar::Uuid id = rack.slots()[1].id;
  ASSERT_TRUE(waitForLoads(rack));
  EXPECT_EQ(rack.slots().size(), 1u);
  EXPECT_TRUE(rack.audioUnits().empty());
  EXPECT_EQ(rack.expandedSlotID(), id);
  ASSERT_TRUE(rack.lastError().has_value());
  EXPECT_TRUE(rack.lastError()->startsWith(QString::fromUtf8("Couldn’t load “Test Needs Worker”: Codec unavailable: ")))
      << rack.lastError()->toStdString();
  EXPECT_TRUE(rack.lastError()->contains("worker#schedule")) << rack.lastError()->toStdString();
}

TEST(EffectsRack, ALoadEndingAfterItsSlotWasRemovedIsDroppedSilently) {
  for (const char* plugin : {"mono-gain", "needs-worker"}) {
    EffectsRack rack;
    rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + plugin)));
    rack.add(defaultSettings(EffectKind::eq));
    const quar::Uuid id = rack.slots()[0].id;
    rack.remove(id);
    EXPECT_TRUE(rack.loadingSlots().empty()) << plugin;
    settleLoads();
    EXPECT_TRUE(rack.audioUnits().empty()) << plugin;
    EXPECT_EQ(rack.lastError(), std::nullopt) << plugin;
    EXPECT_EQ(rack.slots().size(), 1u) << plugin;
  }
}

TEST(EffectsRack, RemoveAllDropsInstancesAndLoads) {
  EffectsRack rack;
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "mono-gain")));
  ASSERT_TRUE(waitForLoads(rack));
  rack.addAudioUnit(descriptorOf(lv2Component(testPlugins + "stereo-gain")));
  rack.removeAll();
  EXPECT_TRUE(rack.slots().empty());
  EXPECT_TRUE(rack.audioUnits().empty());
  EXPECT_TRUE(rack.loadingSlots().empty());
  settleLoads();
  EXPECT_TRUE(rack.audioUnits().empty());
}
