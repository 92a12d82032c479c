// EffectKind: the eight built-in effects with their id, label, symbol name and menu group.
// EffectKindCategory: the groups, whose raw value is also their label. Pure values, safe on any
// thread. Each kind's record (these texts, its settings and processor) is in BuiltinEffect.h;
// the kind's default settings and its JSON form live in EffectSettings.h.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

namespace quar {

enum class EffectKind { eq, compressor, gate, distortion, delay, reverb, chorus, noiseReduction };

template <>
struct EnumCases<EffectKind> {
  static constexpr std::array values{EffectKind::eq,     EffectKind::compressor, EffectKind::gate,
                                     EffectKind::distortion, EffectKind::delay, EffectKind::reverb,
                                     EffectKind::chorus, EffectKind::noiseReduction};
};

enum class EffectKindCategory { tone, dynamics, space, restoration };

template <>
struct EnumCases<EffectKindCategory> {
  static constexpr std::array values{EffectKindCategory::tone, EffectKindCategory::dynamics,
                                     EffectKindCategory::space, EffectKindCategory::restoration};
};

// The kind's id ("eq", "noiseReduction", ...); fromRawValue matches it exactly.
std::string_view rawValue(EffectKind kind);
std::string_view displayName(EffectKind kind);
// Name of the symbol image shown beside the effect's name.
std::string_view symbol(EffectKind kind);
EffectKindCategory category(EffectKind kind);

// The group's label ("Tone", "Dynamics", "Time & Space", "Restoration").
std::string_view rawValue(EffectKindCategory category);

} // namespace quar
