// The rack's live preview: what it publishes into a render state, when it rebuilds, and how it
// keeps replaced runtimes.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <typeinfo>

#include "../playback/PlaybackTestSupport.h"
#include "RackTestSupport.h"
#include "au/support/TestUnits.h"
#include "dsp/effects/processors/CompressorProcessor.h"
#include "dsp/effects/processors/EQProcessor.h"
#include "dsp/effects/processors/ReverbProcessor.h"
#include "editor/EditorModel.h"

using namespace RackTestSupport;
using quar::EffectKind;
using quar::defaultSettings;

namespace {

class EffectsRackPreview : public testing::Test {
protected:
  // A rack of these built-in kinds, activated at 48 kHz stereo.
  void activateWith(std::initializer_list<EffectKind> kinds) {
    for (EffectKind kind : kinds) rack.add(defaultSettings(kind));
    rack.activate(state, 48000, 2);
  }

  std::shared_ptr<RenderState> state = std::make_shared<RenderState>();
  EffectsRack rack;
};

template <typename Processor>
bool isA(const std::shared_ptr<quar::EffectProcessor>& processor) {
  return dynamic_cast<const Processor*>(processor.get()) != nullptr;
}

quar::PlatformComponent fakeComponent() {
  return {{quar::componentType::effect, quar::fourCharCode("fk33"), quar::fourCharCode("qtst"), 0, 0},
          "Fake Unit", "Fake Maker", 1};
}

} // namespace

TEST_F(EffectsRackPreview, NothingIsBuiltBeforeTheFirstActivation) {
  rack.add(defaultSettings(EffectKind::eq));
  rack.add(defaultSettings(EffectKind::reverb));
  rack.setSlots(edited(rack, 0, [](EffectSlot& slot) { slot.isEnabled = false; }));
  rack.remove(rack.slots()[1].id);
  rack.add(defaultSettings(EffectKind::delay));
  EXPECT_FALSE(rebuildTimer(rack)->isActive());
  EXPECT_EQ(published(*state).runtime, nullptr);
  EXPECT_EQ(rack.gainReduction(rack.slots()[0].id), std::nullopt);

  rack.activate(state, 48000, 2);
  const Published p = published(*state);
  ASSERT_NE(p.runtime, nullptr);
  ASSERT_EQ(p.runtime->processors().size(), 2u);  // disabled slots are prepared too
  EXPECT_TRUE(isA<quar::EQProcessor>(p.runtime->processors()[0]));
  EXPECT_EQ(p.enabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(p.versions, (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(p.settings[1], *rack.slots()[1].settings());
  EXPECT_EQ(p.processMask, (std::vector<bool>{true, true}));
  EXPECT_EQ(rack.processMask(), (std::vector<bool>{true, true}));
  EXPECT_TRUE(p.isActive);
}

TEST_F(EffectsRackPreview, ThreeAddsInOneTurnRebuildOnceAfterTheDebounce) {
  activateWith({});
  const std::shared_ptr<PreviewRuntime> empty = published(*state).runtime;
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(published(*state).isActive);  // no prepared slot

  for (EffectKind kind : {EffectKind::eq, EffectKind::compressor, EffectKind::reverb}) rack.add(defaultSettings(kind));
  const QTimer* timer = rebuildTimer(rack);
  EXPECT_TRUE(timer->isActive());
  EXPECT_TRUE(timer->isSingleShot());
  EXPECT_EQ(timer->interval(), 60);
  EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(published(*state).runtime, empty);

  ASSERT_TRUE(waitForRebuild(rack));
  const Published p = published(*state);
  ASSERT_EQ(p.runtime->processors().size(), 3u);
  EXPECT_TRUE(p.isActive);
  EXPECT_TRUE(p.listsFitRuntime());
  EXPECT_EQ(state->retiredCount(), 1u);  // one rebuild replaced the empty runtime
}

TEST_F(EffectsRackPreview, AParameterOrEnabledChangeRaisesThatSlotsVersionWithoutARebuild) {
  activateWith({EffectKind::eq, EffectKind::reverb});
  const std::shared_ptr<PreviewRuntime> runtime = published(*state).runtime;

  rack.setSlots(edited(rack, 1, [](EffectSlot& slot) {
    std::get<quar::ReverbSettings>(std::get<quar::EffectSettings>(slot.source)).mix = 0.7;
  }));
  Published p = published(*state);
  EXPECT_EQ(p.versions, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(std::get<quar::ReverbSettings>(*p.settings[1]).mix, 0.7);

  rack.setSlots(edited(rack, 0, [](EffectSlot& slot) { slot.isEnabled = false; }));
  rack.setSlots(rack.slots());  // unchanged
  p = published(*state);
  EXPECT_EQ(p.versions, (std::vector<int64_t>{2, 2}));
  EXPECT_EQ(p.enabled, (std::vector<bool>{false, true}));
  EXPECT_TRUE(p.isActive);
  EXPECT_EQ(p.runtime, runtime);
  EXPECT_FALSE(rebuildTimer(rack)->isActive());
}

TEST(EffectsRackActivation, RepublishesAtTheSameFormatAndRebuildsAtOnceAtAnother) {
  struct Case {
    double rate;
    int channels;
    bool rebuilds;
  };
  for (const Case c : {Case{48000, 2, false}, Case{44100, 2, true}, Case{48000, 1, true}}) {
    auto state = std::make_shared<RenderState>();
    EffectsRack rack;
    rack.add(defaultSettings(EffectKind::eq));
    rack.activate(state, 48000, 2);
    const std::shared_ptr<PreviewRuntime> first = published(*state).runtime;
    state->effects.with([](PreviewEffectsState& e) { e.isActive = false; });

    rack.activate(state, c.rate, c.channels);
    const Published p = published(*state);
    EXPECT_EQ(p.runtime != first, c.rebuilds) << c.rate << " Hz, " << c.channels;
    EXPECT_EQ(p.runtime->channelCount(), c.channels);
    EXPECT_EQ(rack.processMask(), std::vector<bool>(static_cast<size_t>(c.channels), true));
    EXPECT_TRUE(p.isActive);  // republished either way
    EXPECT_FALSE(rebuildTimer(rack)->isActive());
  }
}

TEST_F(EffectsRackPreview, ActivationAfterAChangeOfTheChainRebuildsAtOnce) {
  activateWith({EffectKind::eq});
  rack.add(defaultSettings(EffectKind::delay));
  rack.activate(state, 48000, 2);
  EXPECT_FALSE(rebuildTimer(rack)->isActive());
  const Published p = published(*state);
  EXPECT_EQ(p.runtime->processors().size(), 2u);
  EXPECT_TRUE(p.isActive);
}

TEST_F(EffectsRackPreview, AProcessorThatCannotRunAtTheFormatIsLeftOutAndReported) {
  quar::test::FakeUnitConfig refusesStereo;
  refusesStereo.inputChannels = {6};
  refusesStereo.outputChannels = {6};
  quar::test::FakeComponent component(fakeComponent(), refusesStereo);
  rack.add(defaultSettings(EffectKind::eq));
  rack.addAudioUnit(quar::test::descriptorOf(component.component));
  rack.add(defaultSettings(EffectKind::reverb));
  ASSERT_TRUE(waitForLoads(rack));
  const quar::Uuid fake = rack.slots()[1].id;
  ASSERT_TRUE(rack.audioUnits().contains(fake));

  rack.activate(state, 48000, 2);
  const Published p = published(*state);
  ASSERT_EQ(p.runtime->processors().size(), 2u);
  EXPECT_TRUE(isA<quar::EQProcessor>(p.runtime->processors()[0]));
  EXPECT_TRUE(isA<quar::ReverbProcessor>(p.runtime->processors()[1]));
  EXPECT_EQ(p.settings[1], *rack.slots()[2].settings());
  EXPECT_TRUE(p.isActive);
  ASSERT_TRUE(rack.lastError().has_value());
  EXPECT_EQ(rack.lastError()->toStdString(),
            "“Fake Unit” can’t run at this format: Unsupported format: “Fake Unit” doesn’t accept 2-channel audio at "
            "48000 Hz. Fake unit refuses 2 channels.");
  EXPECT_EQ(rack.gainReduction(fake), std::nullopt);
}

TEST_F(EffectsRackPreview, APlugInLoadedAfterActivationJoinsThePreview) {
  activateWith({EffectKind::eq});
  rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "mono-gain")));
  ASSERT_TRUE(waitForLoads(rack));
  ASSERT_TRUE(waitForRebuild(rack));
  const Published p = published(*state);
  ASSERT_EQ(p.runtime->processors().size(), 2u);
  EXPECT_EQ(p.runtime->processors()[1], rack.audioUnits().at(rack.slots()[1].id));
  EXPECT_EQ(p.settings[1], std::nullopt);
  EXPECT_TRUE(p.isActive);
}

// A removed slot keeps its place in the published lists until the rebuild, disabled and
// without settings, so that every list still has one entry per runtime processor; the preview
// stays off meanwhile, whatever else is published.
TEST_F(EffectsRackPreview, PublishingWhileARebuildIsPendingKeepsTheListsAlignedAndThePreviewOff) {
  activateWith({EffectKind::eq, EffectKind::delay, EffectKind::reverb});
  const std::shared_ptr<PreviewRuntime> runtime = published(*state).runtime;

  rack.remove(rack.slots()[1].id);
  rack.setSlots(edited(rack, 1, [](EffectSlot& slot) {
    std::get<quar::ReverbSettings>(std::get<quar::EffectSettings>(slot.source)).mix = 0.9;
  }));
  rack.setPreviewEnabled(true);
  rack.setProcessMask({true, false});
  Published p = published(*state);
  EXPECT_EQ(p.runtime, runtime);
  EXPECT_TRUE(p.listsFitRuntime());
  EXPECT_EQ(p.enabled, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(p.settings[1], std::nullopt);
  EXPECT_EQ(std::get<quar::ReverbSettings>(*p.settings[2]).mix, 0.9);
  EXPECT_EQ(p.versions, (std::vector<int64_t>{1, 1, 2}));
  EXPECT_EQ(p.processMask, (std::vector<bool>{true, false}));
  EXPECT_FALSE(p.isActive);

  ASSERT_TRUE(waitForRebuild(rack));
  p = published(*state);
  ASSERT_EQ(p.runtime->processors().size(), 2u);
  EXPECT_TRUE(p.listsFitRuntime());
  EXPECT_EQ(std::get<quar::ReverbSettings>(*p.settings[1]).mix, 0.9);
  EXPECT_EQ(p.versions, (std::vector<int64_t>{1, 1}));
  EXPECT_TRUE(p.isActive);
}

TEST_F(EffectsRackPreview, ThePreviewSwitchAlwaysRepublishesAndTheMaskOnlyWhenItChanges) {
  activateWith({EffectKind::eq});
  auto tamper = [&] { state->effects.with([](PreviewEffectsState& e) { e.enabled = {false}; }); };

  tamper();
  rack.setPreviewEnabled(true);
  EXPECT_EQ(published(*state).enabled, std::vector<bool>{true});

  tamper();
  rack.setProcessMask({true, true});
  EXPECT_EQ(published(*state).enabled, std::vector<bool>{false});
  rack.setProcessMask({false, true});
  EXPECT_EQ(published(*state).enabled, std::vector<bool>{true});
  EXPECT_EQ(published(*state).processMask, (std::vector<bool>{false, true}));

  rack.setPreviewEnabled(false);
  EXPECT_FALSE(published(*state).isActive);
  rack.setPreviewEnabled(true);
  EXPECT_TRUE(published(*state).isActive);
}

TEST_F(EffectsRackPreview, GainReductionComesFromMeteringPreviewProcessorsOnly) {
  activateWith({EffectKind::eq, EffectKind::compressor});
  const quar::Uuid eq = rack.slots()[0].id, compressor = rack.slots()[1].id;
  EXPECT_EQ(rack.gainReduction(eq), std::nullopt);
  EXPECT_EQ(rack.gainReduction(quar::Uuid::random()), std::nullopt);
  const auto* processor = dynamic_cast<const quar::CompressorProcessor*>(published(*state).runtime->processors()[1].get());
  ASSERT_NE(processor, nullptr);
  EXPECT_EQ(rack.gainReduction(compressor), processor->gainReductionDB());
}

// A live plug-in instance belongs to every runtime that holds it: the rebuild prepares it again
// only after the render thread has let go of the old runtime (a cycle with the preview off, or
// a stopped stream).
TEST(EffectsRackRebuild, WaitsForTheRenderThreadBeforePreparingALivePlugInAgain) {
  using namespace PlaybackTestSupport;
  for (const bool stopStream : {false, true}) {
    auto state = std::make_shared<RenderState>();
    EffectsRack rack;
    installProgram(*state, makeContent(2, 48000, ramp), {0, 48000}, true);
    rack.addAudioUnit(quar::test::descriptorOf(quar::test::lv2Component(quar::test::testPlugins + "mono-gain")));
    ASSERT_TRUE(waitForLoads(rack));
    const std::shared_ptr<quar::AudioUnitEffect> unit = rack.audioUnits().begin()->second;
    rack.activate(state, 48000, 2);
    const std::shared_ptr<PreviewRuntime> held = published(*state).runtime;
    Output out(2, 256);
    out.render(*state);
    ASSERT_TRUE(state->holdsRuntime());
    const auto* lanes = &unit->lanes();

    rack.add(defaultSettings(EffectKind::eq));
    QSignalSpy polls(rebuildTimer(rack), &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return polls.count() >= 2; }, 10000));
    EXPECT_EQ(published(*state).runtime, held);
    EXPECT_FALSE(published(*state).isActive);
    EXPECT_EQ(&unit->lanes(), lanes);  // not prepared again

    if (stopStream)
      state->streamStopped();
    else
      out.render(*state);
    ASSERT_TRUE(waitForRebuild(rack));
    const Published p = published(*state);
    ASSERT_EQ(p.runtime->processors().size(), 2u);
    EXPECT_EQ(p.runtime->processors()[0], unit);
    EXPECT_TRUE(p.isActive);
  }
}

TEST_F(EffectsRackPreview, AReplacedRuntimeIsKeptUntilTheRenderThreadLetsGo) {
  using namespace PlaybackTestSupport;
  installProgram(*state, makeContent(2, 48000, ramp), {0, 48000}, true);
  activateWith({EffectKind::eq});
  Output out(2, 256);
  out.render(*state);  // runs the first runtime
  const std::weak_ptr<PreviewRuntime> first = published(*state).runtime;
  rack.add(defaultSettings(EffectKind::reverb));
  ASSERT_TRUE(waitForRebuild(rack));
  ASSERT_NE(published(*state).runtime, first.lock());
  EXPECT_FALSE(first.expired());
  out.render(*state);
  state->releaseRetired();
  EXPECT_FALSE(first.expired());  // a cycle under way at the rebuild may still have run it
  out.render(*state);
  state->releaseRetired();
  EXPECT_TRUE(first.expired());  // nothing else keeps it, the rack included
}

TEST(EffectsRackPlayback, PlayingADocumentPublishesItsRack) {
  EditorModel model(PlaybackTestSupport::makeContent(2, 4800, PlaybackTestSupport::ramp), std::nullopt);
  model.rack().add(defaultSettings(EffectKind::reverb));
  model.setActiveChannels({1});
  model.play(false);
  const Published p = published(*model.transport().player().renderState());
  ASSERT_NE(p.runtime, nullptr);
  EXPECT_EQ(p.runtime->processors().size(), 1u);
  EXPECT_EQ(p.processMask, (std::vector<bool>{false, true}));
  EXPECT_TRUE(p.isActive);
  model.stop(false);
}
