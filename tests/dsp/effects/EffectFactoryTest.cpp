#include "dsp/effects/EffectFactory.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/ProcessorTestSupport.h"
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

template <typename T>
bool is(const ConfigurableEffect& processor) {
  return dynamic_cast<const T*>(&processor) != nullptr;
}

std::vector<float> rendered(ConfigurableEffect& processor, std::vector<float> input) {
  processor.prepare(48000, 1, 256);
  processor.reset();
  fxtest::run(processor, input, {256});
  return input;
}

TEST(EffectFactoryTest, EveryKindMakesItsOwnProcessorUnprepared) {
  const std::function<bool(const ConfigurableEffect&)> classOf[] = {
      is<EQProcessor>,    is<CompressorProcessor>, is<GateProcessor>,  is<DistortionProcessor>,
      is<DelayProcessor>, is<ReverbProcessor>,     is<ChorusProcessor>, is<NoiseReductionProcessor>};
  const std::vector<float> input = fxtest::whiteNoise(2048, 0.3, 1);
  for (EffectKind kind : allCases<EffectKind>()) {
    SCOPED_TRACE(rawValue(kind));
    const EffectSettings settings = defaultSettings(kind);
    std::unique_ptr<ConfigurableEffect> first = EffectFactory::makeProcessor(settings);
    ASSERT_NE(first, nullptr);
    for (size_t k = 0; k < std::size(classOf); ++k)
      EXPECT_EQ(classOf[k](*first), k == static_cast<size_t>(kind)) << k;

    // Not prepared: processing leaves the audio alone.
    std::vector<float> untouched = input;
    fxtest::run(*first, untouched, {256});
    EXPECT_EQ(untouched, input);

    // A second call is a new instance; applying the same settings again changes nothing.
    std::unique_ptr<ConfigurableEffect> second = EffectFactory::makeProcessor(settings);
    EXPECT_NE(second.get(), first.get());
    second->apply(settings);
    EXPECT_EQ(rendered(*second, input), rendered(*first, input));
  }
}

TEST(EffectFactoryTest, ProcessorsTakeTheGivenSettings) {
  DistortionSettings silent;
  silent.mix = 1;
  silent.outputDB = -96;
  auto distortion = EffectFactory::makeProcessor(silent);
  const std::vector<float> output = rendered(*distortion, fxtest::whiteNoise(2048, 0.3, 2));
  EXPECT_LT(fxtest::rms(output, 0, output.size()), 1e-5);

  // The noise profile travels with the settings; without one the audio passes, delayed.
  const std::vector<float> noise = fxtest::whiteNoise(8192, 0.05, 3);
  auto plain = EffectFactory::makeProcessor(NoiseReductionSettings());
  EXPECT_EQ(rendered(*plain, noise), fxtest::delayed(noise, 2048));
  NoiseReductionSettings withProfile;
  withProfile.profile = NoiseProfile::learn(ArraySource({noise}, 48000), std::nullopt, 2048);
  auto reducing = EffectFactory::makeProcessor(withProfile);
  reducing->prepare(48000, 1, 256);
  EXPECT_GT(dynamic_cast<NoiseReductionProcessor&>(*reducing).noisePower()[100], 0.0f);
}

} // namespace
} // namespace quar
