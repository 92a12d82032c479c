#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/EffectFactory.h"
#include "dsp/effects/ProcessorTestSupport.h"

namespace quar {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Loud stretches of noise (peaks near +9 dBFS) between quiet ones (about −64 dBFS), so that
// gates open, hold and close, and compressors see levels above 0 dB.
fxtest::Planar bursts() {
  fxtest::Planar audio{fxtest::whiteNoise(48000, 0.3, 1), fxtest::whiteNoise(48000, 0.3, 2)};
  for (auto& channel : audio)
    for (size_t i = 0; i < channel.size(); ++i)
      if ((i / 6000) % 2) channel[i] *= 0.002f;
  return audio;
}

fxtest::Planar processed(const EffectSettings& settings) {
  auto processor = EffectFactory::makeProcessor(settings);
  processor->prepare(48000, 2, 512);
  fxtest::Planar audio = bursts();
  fxtest::run(*processor, audio, {512});
  return audio;
}

template <typename Settings, typename Change>
Settings with(Change change) {
  Settings settings;
  change(settings);
  return settings;
}

// Fields read as the settings give them: a non-finite value takes the fallback of its field,
// which for some fields is not the record's default, and values beyond the editors' ranges
// are taken as they are.
TEST(ProcessorSettingsTest, FieldsAreReadAsGiven) {
  struct Case {
    std::string name;
    EffectSettings given;
    EffectSettings sameAs;
  };
  using C = CompressorSettings;
  using G = GateSettings;
  using D = DistortionSettings;
  const Case cases[] = {
      // Nothing reaches a threshold of +12 dB: the output is the input, as with no compression,
      // and the automatic make-up is that of the settings (0 dB).
      {"compressor threshold above 0 dB",
       with<C>([](C& s) {
         s.thresholdDB = 12;
         s.autoMakeup = true;
       }),
       with<C>([](C& s) { s.ratio = 1; })},
      {"gate hysteresis NaN", with<G>([](G& s) { s.hysteresisDB = nan; }), with<G>([](G& s) { s.hysteresisDB = 0; })},
      {"gate hysteresis +inf", with<G>([](G& s) { s.hysteresisDB = inf; }), with<G>([](G& s) { s.hysteresisDB = 0; })},
      {"gate hold NaN", with<G>([](G& s) { s.holdMs = nan; }), with<G>([](G& s) { s.holdMs = 0; })},
      {"gate hold +inf", with<G>([](G& s) { s.holdMs = inf; }), with<G>([](G& s) { s.holdMs = 0; })},
      {"saturation drive NaN", with<D>([](D& s) { s.driveDB = nan; }), with<D>([](D& s) { s.driveDB = 0; })},
      {"saturation drive +inf", with<D>([](D& s) { s.driveDB = inf; }), with<D>([](D& s) { s.driveDB = 0; })},
      {"saturation output -inf", with<D>([](D& s) { s.outputDB = -inf; }), with<D>([](D& s) { s.outputDB = 0; })},
      {"saturation tone NaN", with<D>([](D& s) { s.toneHz = nan; }), with<D>([](D& s) { s.toneHz = 20000; })},
      {"saturation tone +inf", with<D>([](D& s) { s.toneHz = inf; }), with<D>([](D& s) { s.toneHz = 20000; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fxtest::Planar output = processed(c.given);
    EXPECT_TRUE(output == processed(c.sameAs)) << "not the fallback";
    EXPECT_FALSE(output == processed(defaultSettings(kind(c.given)))) << "the case does not tell the fallback apart";
  }
  EXPECT_TRUE(processed(cases[0].given) == bursts());
}

} // namespace
} // namespace quar
