#include "dsp/effects/EffectFactory.h"

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

std::unique_ptr<ConfigurableEffect> makeUnconfigured(EffectKind kind) {
  switch (kind) {
  case EffectKind::eq: return std::make_unique<EQProcessor>();
  case EffectKind::compressor: return std::make_unique<CompressorProcessor>();
  case EffectKind::gate: return std::make_unique<GateProcessor>();
  case EffectKind::distortion: return std::make_unique<DistortionProcessor>();
  case EffectKind::delay: return std::make_unique<DelayProcessor>();
  case EffectKind::reverb: return std::make_unique<ReverbProcessor>();
  case EffectKind::chorus: return std::make_unique<ChorusProcessor>();
  case EffectKind::noiseReduction: return std::make_unique<NoiseReductionProcessor>();
  }
  return nullptr;
}

} // namespace

std::unique_ptr<ConfigurableEffect> EffectFactory::makeProcessor(const EffectSettings& settings) {
  std::unique_ptr<ConfigurableEffect> processor = makeUnconfigured(kind(settings));
  processor->apply(settings);
  return processor;
}

} // namespace quar
