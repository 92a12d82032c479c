#include "dsp/effects/EffectFactory.h"

#include "dsp/effects/BuiltinEffect.h"

namespace quar {

std::unique_ptr<ConfigurableEffect> EffectFactory::makeProcessor(const EffectSettings& settings) {
  std::unique_ptr<ConfigurableEffect> processor = builtinEffect(kind(settings)).makeProcessor();
  processor->apply(settings);
  return processor;
}

} // namespace quar
