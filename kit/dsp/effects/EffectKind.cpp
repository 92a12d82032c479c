#include "dsp/effects/EffectKind.h"

#include "dsp/effects/BuiltinEffect.h"

namespace quar {

std::string_view rawValue(EffectKind kind) { return builtinEffect(kind).id; }
std::string_view displayName(EffectKind kind) { return builtinEffect(kind).displayName; }
std::string_view symbol(EffectKind kind) { return builtinEffect(kind).symbol; }
EffectKindCategory category(EffectKind kind) { return builtinEffect(kind).category; }

std::string_view rawValue(EffectKindCategory category) {
  switch (category) {
    case EffectKindCategory::tone: return "Tone";
    case EffectKindCategory::dynamics: return "Dynamics";
    case EffectKindCategory::space: return "Time & Space";
    case EffectKindCategory::restoration: return "Restoration";
  }
  return {};
}

} // namespace quar
