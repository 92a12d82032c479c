// EffectSlot: one entry of an effects rack: its identity, whether it takes part in preview and
// apply, and what it runs: a built-in effect with its settings or a hosted LV2 plug-in named by
// its descriptor. A plain value, compared and hashed over all three fields; safe on any thread.
#pragma once

#include <QString>

#include <functional>
#include <variant>

#include "au/AudioUnitDescriptor.h"
#include "base/Uuid.h"
#include "dsp/effects/EffectSettings.h"

struct EffectSlot {
  // A built-in effect's settings, or the plug-in's descriptor. A slot never changes case.
  using Source = std::variant<quar::EffectSettings, quar::AudioUnitDescriptor>;

  quar::Uuid id;
  bool isEnabled = true;
  Source source;

  // A new enabled slot with a fresh random id.
  static EffectSlot builtin(quar::EffectSettings settings);
  static EffectSlot audioUnit(quar::AudioUnitDescriptor descriptor);

  // The built-in settings, or null for a plug-in slot.
  const quar::EffectSettings* settings() const { return std::get_if<quar::EffectSettings>(&source); }
  // The plug-in's descriptor, or null for a built-in slot.
  const quar::AudioUnitDescriptor* descriptor() const { return std::get_if<quar::AudioUnitDescriptor>(&source); }

  // The effect kind's name ("Parametric EQ"), or the plug-in's name.
  QString displayName() const;
  // The name of the icon standing for the slot.
  QString symbol() const;
  // The id's text, then "-" and the kind's raw value ("…-eq"), or "-au-" and the descriptor's
  // id: what the slot needs of a processor, not its parameter values or enabled flag.
  QString structuralKey() const;

  bool operator==(const EffectSlot&) const = default;
};

template <>
struct std::hash<EffectSlot> {
  size_t operator()(const EffectSlot& slot) const noexcept;
};
