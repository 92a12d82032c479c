#include "dsp/effects/EffectKind.h"

namespace quar {

namespace {

struct KindRow {
  std::string_view raw, label, symbol;
  EffectKindCategory category;
};

const KindRow& row(EffectKind kind) {
  using enum EffectKindCategory;
  static constexpr KindRow rows[] = {
      {"eq", "Parametric EQ", "slider.vertical.3", tone},
      {"compressor", "Compressor", "arrow.down.right.and.arrow.up.left", dynamics},
      {"gate", "Noise Gate", "door.left.hand.closed", dynamics},
      {"distortion", "Saturation", "flame", tone},
      {"delay", "Delay", "repeat", space},
      {"reverb", "Reverb", "building.columns", space},
      {"chorus", "Chorus / Flanger", "water.waves", space},
      {"noiseReduction", "Noise Reduction", "waveform.badge.minus", restoration},
  };
  return rows[static_cast<int>(kind)];
}

} // namespace

std::string_view rawValue(EffectKind kind) { return row(kind).raw; }
std::string_view displayName(EffectKind kind) { return row(kind).label; }
std::string_view symbol(EffectKind kind) { return row(kind).symbol; }
EffectKindCategory category(EffectKind kind) { return row(kind).category; }

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
