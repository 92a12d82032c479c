// PreviewEffectsState: what the effects rack publishes for the live preview, read by the
// render thread under RenderState's effects lock: the runtime to run and, per processor in
// chain order, the slot's current built-in settings, enabled flag and change counter, plus
// the per-channel mask and whether the preview is on. The rack swaps whole prebuilt lists in
// under the lock (replacing `runtime` only through RenderState::publishRuntime); syncRuntime
// runs on the render thread and allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dsp/effects/EffectSettings.h"
#include "playback/PreviewRuntime.h"

struct PreviewEffectsState {
  std::shared_ptr<PreviewRuntime> runtime;
  std::vector<std::optional<quar::EffectSettings>> settings;  // none for a slot without built-in settings
  std::vector<bool> enabled;
  std::vector<int64_t> versions;  // a slot whose version differs from the applied one is re-applied
  std::vector<bool> processMask;  // per channel: false = heard dry
  bool isActive = false;

  // Render thread, effects lock held. For every processor whose published version changed:
  // applies the published settings (configurable processors only), copies the enabled flag and
  // records the version. Indices beyond any of the lists are left alone. The mask is copied
  // when it has the runtime's (non-zero) channel count.
  void syncRuntime();
};
