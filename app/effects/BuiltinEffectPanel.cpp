#include "effects/BuiltinEffectPanel.h"

#include <optional>

#include "base/CaseTable.h"
#include "effects/ApplyTarget.h"
#include "effects/ChorusEditor.h"
#include "effects/CompressorEditor.h"
#include "effects/DelayEditor.h"
#include "effects/DistortionEditor.h"
#include "effects/EQEditor.h"
#include "effects/GainReductionMeter.h"
#include "effects/GateEditor.h"
#include "effects/NoiseReductionEditor.h"
#include "effects/ReverbEditor.h"

using namespace quar;
using EffectPresets::Preset;
using Made = BuiltinEffectPanel::Made;

namespace {

// Panels

template <typename Settings, typename Editor>
Made plainEditor(const Binding<EffectSettings>& settings, ApplyTarget*, Uuid) {
  if (auto bound = payload<Settings>(settings)) return {new Editor(*bound)};
  return {};
}

// The compressor and gate panels show the slot's gain reduction.
template <typename Settings, typename Editor>
Made meteredEditor(const Binding<EffectSettings>& settings, ApplyTarget* model, Uuid slotID) {
  auto bound = payload<Settings>(settings);
  if (!bound) return {};
  auto* meter = new GainReductionMeter(&model->rack(), slotID, model->isPlaying());
  return {new Editor(*bound, meter), meter};
}

Made eqEditor(const Binding<EffectSettings>& settings, ApplyTarget* model, Uuid) {
  if (auto bound = payload<EQSettings>(settings)) return {new EQEditor(*bound, model->content().sampleRate())};
  return {};
}

Made noiseReductionEditor(const Binding<EffectSettings>& settings, ApplyTarget* model, Uuid) {
  if (auto bound = payload<NoiseReductionSettings>(settings)) return {new NoiseReductionEditor(*bound, model)};
  return {};
}

// Factory presets

EQSettings eq(std::vector<EQBand> bands) { return EQSettings(std::move(bands), 0); }

EQBand band(EQBandType type, double frequency, double gainDB, double q, int64_t slope) {
  return EQBand(type, frequency, gainDB, q, slope, true);
}

std::vector<Preset> eqPresets() {
  using enum EQBandType;
  return {
      {"Flat", EQSettings()},
      {"Vocal Presence",
       eq({band(lowCut, 80, 0, 0.707, 24), band(peak, 250, -2.5, 1.2, 24), band(peak, 3200, 3, 0.9, 24),
           band(highShelf, 10000, 2, 0.7, 24)})},
      {"Bass Boost", eq({band(lowShelf, 110, 6, 0.7, 24), band(peak, 350, -1.5, 1.0, 24)})},
      {"Remove Mud", eq({band(lowCut, 60, 0, 0.707, 12), band(peak, 300, -4, 1.4, 24)})},
      {"Add Air", eq({band(highShelf, 12000, 4, 0.7, 24)})},
      {"Telephone",
       eq({band(lowCut, 300, 0, 0.707, 48), band(peak, 1500, 5, 0.8, 24), band(highCut, 3400, 0, 0.707, 48)})},
      {"Hum Notch (60 Hz)", eq({band(notch, 60, 0, 12, 24), band(notch, 120, 0, 12, 24), band(notch, 180, 0, 12, 24)})},
  };
}

std::vector<Preset> compressorPresets() {
  constexpr DetectionMode peak = DetectionMode::peak, rms = DetectionMode::rms;
  return {
      {"Gentle Glue", CompressorSettings{-20, 2, 10, 30, 250, 0, true, rms, true, 1.0}},
      {"Vocal Leveler", CompressorSettings{-22, 4, 6, 5, 120, 0, true, peak, true, 1.0}},
      {"Punchy Drums", CompressorSettings{-16, 4, 3, 25, 80, 0, true, peak, true, 1.0}},
      {"Parallel Crush", CompressorSettings{-35, 10, 0, 1, 60, 0, true, peak, true, 0.4}},
      {"Broadcast Voice", CompressorSettings{-26, 6, 6, 2, 180, 0, true, rms, true, 1.0}},
      {"Peak Catcher", CompressorSettings{-6, 20, 2, 0.2, 50, 0, false, peak, true, 1.0}},
  };
}

std::vector<Preset> gatePresets() {
  return {
      {"Voice Cleanup", GateSettings{-45, -24, 2, 80, 250, 3, true}},
      {"Tight Drums", GateSettings{-30, -80, 0.1, 20, 60, 3, true}},
      {"Hard Silence", GateSettings{-50, -90, 0.5, 100, 150, 3, true}},
  };
}

std::vector<Preset> distortionPresets() {
  using enum SaturationMode;
  return {
      {"Warm Tape", DistortionSettings{tube, 6, 14000, -2, 0.7, 8, 1}},
      {"Overdrive", DistortionSettings{soft, 20, 8000, -10, 1.0, 8, 1}},
      {"Fuzz", DistortionSettings{hard, 36, 6000, -18, 1.0, 8, 1}},
      {"Lo-Fi 8-bit", DistortionSettings{bitcrush, 0, 12000, -3, 1.0, 8, 4}},
  };
}

std::vector<Preset> delayPresets() {
  return {
      {"Slapback", DelaySettings{95, 1.0, 0.1, 0.25, false, 80, 8000}},
      {"Quarter Note @ 120", DelaySettings{500, 1.0, 0.35, 0.3, false, 80, 8000}},
      {"Dotted Eighth Ping-Pong", DelaySettings{375, 1.0, 0.45, 0.3, true, 80, 8000}},
      {"Dub Echo", DelaySettings{600, 1.0, 0.7, 0.35, false, 80, 2500}},
      {"Wide Doubler", DelaySettings{18, 1.6, 0.0, 0.4, false, 80, 8000}},
  };
}

std::vector<Preset> reverbPresets() {
  return {
      {"Ambience", ReverbSettings{0, 0.4, 0.2, 0.6, 0.8, 1.0, 100, 0.15}},
      {"Small Room", ReverbSettings{5, 0.6, 0.3, 0.5, 0.8, 1.0, 100, 0.2}},
      {"Vocal Plate", ReverbSettings{25, 1.6, 0.5, 0.3, 0.8, 1.0, 100, 0.22}},
      {"Concert Hall", ReverbSettings{30, 2.8, 0.85, 0.5, 0.8, 1.0, 100, 0.28}},
      {"Cathedral", ReverbSettings{45, 7.0, 1.0, 0.6, 0.8, 1.0, 100, 0.35}},
  };
}

std::vector<Preset> chorusPresets() {
  using enum ModulationMode;
  return {
      {"Subtle Chorus", ChorusSettings{chorus, 0.5, 0.3, 14, 0.0, 2, 0.5, 0.35}},
      {"Wide Ensemble", ChorusSettings{chorus, 0.8, 0.6, 18, 0.0, 4, 0.5, 0.5}},
      {"Jet Flanger", ChorusSettings{flanger, 0.2, 0.8, 2, 0.7, 2, 0.5, 0.5}},
      {"Slow Sweep", ChorusSettings{flanger, 0.08, 0.9, 3, 0.5, 2, 0.5, 0.5}},
  };
}

NoiseReductionSettings noiseReduction(double reductionDB, double sensitivityDB, double smoothing) {
  return NoiseReductionSettings{std::nullopt, reductionDB, sensitivityDB, smoothing, false};
}

std::vector<Preset> noiseReductionPresets() {
  return {
      {"Light", noiseReduction(10, -3, 0.6)},
      {"Medium", noiseReduction(18, 0, 0.5)},
      {"Strong", noiseReduction(30, 3, 0.4)},
  };
}

constexpr BuiltinEffectPanel panels[] = {
    {EffectKind::eq, eqEditor, eqPresets},
    {EffectKind::compressor, meteredEditor<CompressorSettings, CompressorEditor>, compressorPresets},
    {EffectKind::gate, meteredEditor<GateSettings, GateEditor>, gatePresets},
    {EffectKind::distortion, plainEditor<DistortionSettings, DistortionEditor>, distortionPresets},
    {EffectKind::delay, plainEditor<DelaySettings, DelayEditor>, delayPresets},
    {EffectKind::reverb, plainEditor<ReverbSettings, ReverbEditor>, reverbPresets},
    {EffectKind::chorus, plainEditor<ChorusSettings, ChorusEditor>, chorusPresets},
    {EffectKind::noiseReduction, noiseReductionEditor, noiseReductionPresets},
};

static_assert(isCaseTable(panels, &BuiltinEffectPanel::kind), "one panel per EffectKind, in case order");

} // namespace

std::span<const BuiltinEffectPanel> builtinEffectPanels() { return panels; }

const BuiltinEffectPanel& builtinEffectPanel(EffectKind kind) { return panels[caseIndex(kind)]; }
