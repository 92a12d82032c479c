// BuiltinEffectPanel: the app's record of one built-in effect, one per EffectKind in case order
// beside the kit's BuiltinEffect records: the editor panel a slot card shows for the kind and
// the kind's factory presets. The table is constant; the makers build widgets and run on the
// GUI thread only.
#pragma once

#include <span>
#include <vector>

#include "base/Uuid.h"
#include "dsp/effects/EffectSettings.h"
#include "effects/EffectPresets.h"
#include "widgets/Binding.h"

class ApplyTarget;
class EffectEditor;
class GainReductionMeter;

struct BuiltinEffectPanel {
  // A panel without a parent and the gain-reduction meter inside it (null for kinds without one).
  struct Made {
    EffectEditor* editor = nullptr;
    GainReductionMeter* meter = nullptr;
  };

  quar::EffectKind kind;
  // The kind's panel around `settings` narrowed to the kind's record, with the document `model`
  // (the rack and transport for the meter of slot `slotID`, the sample rate, the selection);
  // nothing when the bound value does not hold the kind.
  Made (*makeEditor)(const Binding<quar::EffectSettings>& settings, ApplyTarget* model, quar::Uuid slotID);
  // The kind's factory presets in their fixed order, built anew on each call (fresh band ids).
  std::vector<EffectPresets::Preset> (*factoryPresets)();
};

// Every record, in quar::allCases<quar::EffectKind>() order.
std::span<const BuiltinEffectPanel> builtinEffectPanels();
const BuiltinEffectPanel& builtinEffectPanel(quar::EffectKind kind);
