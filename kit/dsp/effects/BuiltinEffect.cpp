#include "dsp/effects/BuiltinEffect.h"

#include <type_traits>
#include <variant>

#include "base/CaseTable.h"
#include "dsp/effects/processors/ChorusProcessor.h"
#include "dsp/effects/processors/CompressorProcessor.h"
#include "dsp/effects/processors/DelayProcessor.h"
#include "dsp/effects/processors/DistortionProcessor.h"
#include "dsp/effects/processors/EQProcessor.h"
#include "dsp/effects/processors/GateProcessor.h"
#include "dsp/effects/processors/NoiseReductionProcessor.h"
#include "dsp/effects/processors/ReverbProcessor.h"

namespace quar {

namespace {

// The record of `kind`, whose settings case is `Settings` and whose processor is `Processor`.
template <EffectKind kind, typename Settings, typename Processor>
constexpr BuiltinEffect record(std::string_view id, std::string_view displayName, std::string_view symbol,
                               EffectKindCategory category) {
  static_assert(std::is_same_v<std::variant_alternative_t<static_cast<size_t>(kind), EffectSettings>, Settings>,
                "EffectSettings holds the kind's settings at the kind's position");
  static_assert(std::is_base_of_v<ConfigurableEffect, Processor>);
  return {kind,
          id,
          displayName,
          symbol,
          category,
          [] { return EffectSettings(std::in_place_type<Settings>); },
          []() -> std::unique_ptr<ConfigurableEffect> { return std::make_unique<Processor>(); }};
}

using enum EffectKindCategory;

constexpr BuiltinEffect records[] = {
    record<EffectKind::eq, EQSettings, EQProcessor>("eq", "Parametric EQ", "slider.vertical.3", tone),
    record<EffectKind::compressor, CompressorSettings, CompressorProcessor>(
        "compressor", "Compressor", "arrow.down.right.and.arrow.up.left", dynamics),
    record<EffectKind::gate, GateSettings, GateProcessor>("gate", "Noise Gate", "door.left.hand.closed", dynamics),
    record<EffectKind::distortion, DistortionSettings, DistortionProcessor>("distortion", "Saturation", "flame",
                                                                            tone),
    record<EffectKind::delay, DelaySettings, DelayProcessor>("delay", "Delay", "repeat", space),
    record<EffectKind::reverb, ReverbSettings, ReverbProcessor>("reverb", "Reverb", "building.columns", space),
    record<EffectKind::chorus, ChorusSettings, ChorusProcessor>("chorus", "Chorus / Flanger", "water.waves", space),
    record<EffectKind::noiseReduction, NoiseReductionSettings, NoiseReductionProcessor>(
        "noiseReduction", "Noise Reduction", "waveform.badge.minus", restoration),
};

static_assert(isCaseTable(records, &BuiltinEffect::kind), "one record per EffectKind, in case order");

} // namespace

std::span<const BuiltinEffect> builtinEffects() { return records; }

const BuiltinEffect& builtinEffect(EffectKind kind) { return records[caseIndex(kind)]; }

} // namespace quar
