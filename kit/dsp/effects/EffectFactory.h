// EffectFactory: makes a new processor for an EffectSettings value, of the class the kind's
// BuiltinEffect record names, already configured with it but not prepared (the caller prepares
// and resets it before the first block). Stateless; callable from any thread
// (it allocates, so not from the audio thread).
#pragma once

#include <memory>

#include "dsp/effects/ConfigurableEffect.h"
#include "dsp/effects/EffectSettings.h"

namespace quar {

struct EffectFactory {
  // A new, independent processor of the settings' kind with apply(settings) already called.
  static std::unique_ptr<ConfigurableEffect> makeProcessor(const EffectSettings& settings);
};

} // namespace quar
