#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <unordered_set>

#include "dsp/effects/EffectSettings.h"

using namespace quar;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

size_t hashOf(const EffectSettings& settings) { return std::hash<EffectSettings>{}(settings); }

} // namespace

TEST(EffectSettings, RecordDefaults) {
  const CompressorSettings compressor;
  EXPECT_EQ(compressor.thresholdDB, -18);
  EXPECT_EQ(compressor.detection, DetectionMode::peak);
  EXPECT_TRUE(compressor.stereoLink);
  EXPECT_FALSE(compressor.autoMakeup);
  const DistortionSettings distortion;
  EXPECT_EQ(distortion.mode, SaturationMode::soft);
  EXPECT_EQ(distortion.bits, 8);
  EXPECT_EQ(distortion.outputDB, -6);
  const ChorusSettings chorus;
  EXPECT_EQ(chorus.mode, ModulationMode::chorus);
  EXPECT_EQ(chorus.voices, 2);
  EXPECT_EQ(GateSettings().rangeDB, -60);
  EXPECT_EQ(DelaySettings().timeMs, 375);
  EXPECT_EQ(ReverbSettings().decaySeconds, 1.8);
  EXPECT_EQ(NoiseReductionSettings().reductionDB, 18);
}

TEST(EffectSettings, SmallEnumerationTables) {
  EXPECT_EQ(displayName(DetectionMode::rms), "RMS");
  EXPECT_EQ(fromRawValue<DetectionMode>(std::string("rms")), DetectionMode::rms);
  EXPECT_EQ(displayName(SaturationMode::soft), "Soft Clip");
  EXPECT_EQ(displayName(SaturationMode::hard), "Hard Clip");
  EXPECT_EQ(displayName(SaturationMode::bitcrush), "Bit Crusher");
  EXPECT_EQ(fromRawValue<SaturationMode>(std::string("bitcrush")), SaturationMode::bitcrush);
  EXPECT_EQ(allCases<SaturationMode>().back(), SaturationMode::bitcrush);
  EXPECT_EQ(displayName(ModulationMode::flanger), "Flanger");
  EXPECT_EQ(fromRawValue<ModulationMode>(std::string("flanger")), ModulationMode::flanger);
  EXPECT_FALSE(fromRawValue<ModulationMode>(std::string("Flanger")));
}

TEST(EffectSettings, EqualityAndHashFollowNumericEquality) {
  ReverbSettings negativeZero;
  negativeZero.width = -0.0;
  ReverbSettings positiveZero;
  positiveZero.width = 0.0;
  EXPECT_EQ(EffectSettings(negativeZero), EffectSettings(positiveZero));
  EXPECT_EQ(hashOf(negativeZero), hashOf(positiveZero));

  ReverbSettings withNaN;
  withNaN.mix = notANumber;
  const EffectSettings nanValue = withNaN;
  EXPECT_NE(nanValue, nanValue);

  // Same fields under another case, or one field changed, differ.
  EXPECT_NE(EffectSettings(ReverbSettings()), EffectSettings(DelaySettings()));
  ChorusSettings fourVoices;
  fourVoices.voices = 4;
  EXPECT_NE(EffectSettings(fourVoices), EffectSettings(ChorusSettings()));

  NoiseReductionSettings withProfile;
  withProfile.profile = NoiseProfile{4, 48000, {1, 2, 3}};
  NoiseReductionSettings samePowers = withProfile;
  EXPECT_EQ(EffectSettings(withProfile), EffectSettings(samePowers));
  EXPECT_EQ(hashOf(withProfile), hashOf(samePowers));
  samePowers.profile->binPower.push_back(0);
  EXPECT_NE(withProfile, samePowers);
  EXPECT_NE(withProfile, NoiseReductionSettings());

  std::unordered_set<EffectSettings> set;
  for (EffectKind kind : allCases<EffectKind>()) set.insert(defaultSettings(kind));
  set.insert(ReverbSettings());
  EXPECT_EQ(set.size(), 8u);
}

TEST(EffectSettings, CopiesAreIndependent) {
  EffectSettings original = EQSettings();
  EffectSettings copy = original;
  std::get<EQSettings>(copy).bands[2].gainDB = 6;
  EXPECT_EQ(std::get<EQSettings>(original).bands[2].gainDB, 0);
  EXPECT_NE(copy, original);
}

TEST(EffectSettings, AssigningWithinPreparedCapacityKeepsStorage) {
  EQSettings slot(std::vector<EQBand>{});
  slot.bands.reserve(EQSettings::maxBands);
  const EQBand* storage = slot.bands.data();
  const EQSettings incoming;  // six bands
  slot = incoming;
  EXPECT_EQ(slot, incoming);
  EXPECT_EQ(slot.bands.data(), storage);
}

TEST(EffectSettings, WithFiniteFieldsTakesDefaultsForNonFiniteNumbersOnly) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  ReverbSettings broken{nan, inf, -inf, nan, nan, nan, nan, nan};
  EXPECT_EQ(withFiniteFields(broken), ReverbSettings{});

  ChorusSettings chorus;
  chorus.mode = ModulationMode::flanger;
  chorus.voices = 9;
  chorus.depth = nan;
  chorus.mix = 0.9;
  const ChorusSettings fixed = withFiniteFields(chorus);
  EXPECT_EQ(fixed.depth, ChorusSettings{}.depth);
  EXPECT_EQ(fixed.mix, 0.9);
  EXPECT_EQ(fixed.voices, 9);
  EXPECT_EQ(fixed.mode, ModulationMode::flanger);

  CompressorSettings compressor;
  compressor.ratio = inf;
  compressor.thresholdDB = -30;
  EXPECT_EQ(withFiniteFields(compressor).ratio, CompressorSettings{}.ratio);
  EXPECT_EQ(withFiniteFields(compressor).thresholdDB, -30);
}
