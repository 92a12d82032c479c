// BuiltinEffect: the record of one built-in effect, one per EffectKind in case order: its id
// (the kind's raw value and the JSON key of its settings case), title, symbol, menu group, the
// settings record it carries (its default value) and its processor class (a maker). Every
// per-kind question in the kit is answered here; the app keeps its own side (editor panel,
// factory presets) in app/effects/BuiltinEffectPanel.h. The table is constant: reading it is
// safe on any thread; the makers allocate, so not on the audio thread.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/EffectKind.h"
#include "dsp/effects/EffectSettings.h"

namespace quar {

struct BuiltinEffect {
  EffectKind kind;
  std::string_view id, displayName, symbol;
  EffectKindCategory category;
  // The kind's settings case holding its record's defaults (eq: the six default bands, each
  // with a fresh id).
  EffectSettings (*defaultSettings)();
  // A new processor of the kind, neither configured nor prepared.
  std::unique_ptr<ConfigurableEffect> (*makeProcessor)();
};

// Every record, in allCases<EffectKind>() order.
std::span<const BuiltinEffect> builtinEffects();
const BuiltinEffect& builtinEffect(EffectKind kind);

} // namespace quar
