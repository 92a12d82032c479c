// Helpers of the effects rack's tests: a copy of what the rack published into a render state,
// the checks that the published lists fit the runtime, and waiting for the rack's rebuilds.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

#include "effects/EffectsRack.h"
#include "playback/RenderState.h"

namespace RackTestSupport {

// What the render thread would find under the effects lock.
struct Published {
  std::shared_ptr<PreviewRuntime> runtime;
  std::vector<std::optional<quar::EffectSettings>> settings;
  std::vector<bool> enabled;
  std::vector<int64_t> versions;
  std::vector<bool> processMask;
  bool isActive = false;

  // One settings entry, enabled flag and version per runtime processor.
  bool listsFitRuntime() const {
    const size_t n = runtime ? runtime->processors().size() : 0;
    return settings.size() == n && enabled.size() == n && versions.size() == n;
  }
};

inline Published published(RenderState& state) {
  return state.effects.with([](const PreviewEffectsState& e) {
    return Published{e.runtime, e.settings, e.enabled, e.versions, e.processMask, e.isActive};
  });
}

inline QTimer* rebuildTimer(const EffectsRack& rack) {
  return rack.findChild<QTimer*>(QStringLiteral("previewRebuildTimer"));
}

// Spins the event loop until no rebuild is pending.
inline bool waitForRebuild(const EffectsRack& rack) {
  return QTest::qWaitFor([&] { return !rebuildTimer(rack)->isActive(); }, 10000);
}

// Spins the event loop until no plug-in slot is loading.
inline bool waitForLoads(const EffectsRack& rack) {
  return QTest::qWaitFor([&] { return rack.loadingSlots().empty(); }, 20000);
}

inline const quar::ReverbSettings& reverbOf(const EffectSlot& slot) {
  return std::get<quar::ReverbSettings>(*slot.settings());
}

// The slots with `edit` applied to the one at `index`.
template <typename Edit>
std::vector<EffectSlot> edited(const EffectsRack& rack, size_t index, Edit edit) {
  std::vector<EffectSlot> slots = rack.slots();
  edit(slots.at(index));
  return slots;
}

} // namespace RackTestSupport
