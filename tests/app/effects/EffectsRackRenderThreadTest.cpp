// The rack publishing while a render thread plays through its preview. The ThreadSanitizer
// build runs this file as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "../playback/PlaybackTestSupport.h"
#include "RackTestSupport.h"

using namespace RackTestSupport;
using namespace PlaybackTestSupport;
using quar::EffectKind;
using quar::defaultSettings;

namespace {

// Renders cycles of 256 frames on its own thread until destroyed; counts the cycles and
// remembers whether any output sample was not finite.
class FreeRenderer {
public:
  explicit FreeRenderer(RenderState& state)
      : thread_([this, &state] {
          Output out(2, 256);
          while (running_) {
            out.render(state);
            for (const auto& buffer : out.buffers)
              for (float sample : buffer)
                if (!std::isfinite(sample)) nonFinite_ = true;
            ++cycles_;
          }
        }) {}
  ~FreeRenderer() {
    running_ = false;
    thread_.join();
  }
  int64_t cycles() const { return cycles_; }
  bool sawNonFinite() const { return nonFinite_; }

private:
  std::atomic<bool> running_{true};
  std::atomic<int64_t> cycles_{0};
  std::atomic<bool> nonFinite_{false};
  std::thread thread_;
};

} // namespace

TEST(EffectsRackRenderThread, RemovingOneSlotAndEditingAnotherWithinTheDebounceWhileRendering) {
  auto state = std::make_shared<RenderState>();
  installProgram(*state, makeContent(2, 48000, ramp), {0, 48000}, true);
  EffectsRack rack;
  for (EffectKind kind : {EffectKind::eq, EffectKind::delay, EffectKind::compressor, EffectKind::reverb})
    rack.add(defaultSettings(kind));
  rack.activate(state, 48000, 2);
  FreeRenderer renderer(*state);

  for (int round = 0; round < 4; ++round) {
    const int64_t cycles = renderer.cycles();
    ASSERT_TRUE(QTest::qWaitFor([&] { return renderer.cycles() > cycles + 2; }, 10000));
    // Both within one turn of the event loop, so well within the 60 ms debounce.
    rack.remove(rack.slots().front().id);
    rack.setSlots(edited(rack, rack.slots().size() - 1, [](EffectSlot& slot) {
      auto& settings = std::get<quar::EffectSettings>(slot.source);
      if (auto* reverb = std::get_if<quar::ReverbSettings>(&settings)) reverb->mix = 0.5;
      slot.isEnabled = !slot.isEnabled;
    }));
    const Published pending = published(*state);
    EXPECT_TRUE(pending.listsFitRuntime()) << "round " << round;
    EXPECT_FALSE(pending.isActive) << "round " << round;

    ASSERT_TRUE(waitForRebuild(rack));
    const Published rebuilt = published(*state);
    EXPECT_TRUE(rebuilt.listsFitRuntime()) << "round " << round;
    EXPECT_EQ(rebuilt.runtime->processors().size(), rack.slots().size());
    rack.add(defaultSettings(EffectKind::chorus));
  }
  EXPECT_FALSE(renderer.sawNonFinite());
}
