// ConfigurableEffect: an EffectProcessor that also takes new settings. apply() runs on the
// thread that renders (the audio thread when live) between process calls, so it allocates and
// locks nothing: it reads `settings` in place during the call and copies what it keeps into
// storage sized beforehand (the equaliser's EQSettings::maxBands band slots, the noise
// reduction's profile store). See EffectSettings.h for which parts of a value are arrays.
#pragma once

#include "base/EffectProcessor.h"
#include "dsp/effects/EffectSettings.h"

namespace quar {

class ConfigurableEffect : public EffectProcessor {
public:
  // Takes the payload of this processor's own kind as its new target settings; a value of any
  // other case is ignored and leaves the processor unchanged. Cannot fail.
  virtual void apply(const EffectSettings& settings) = 0;
};

} // namespace quar
