#include <gtest/gtest.h>

#include <string>

#include "dsp/effects/EffectKind.h"
#include "dsp/effects/EffectSettings.h"

using namespace quar;

TEST(EffectKind, TableInCaseOrder) {
  struct Row {
    EffectKind kind;
    const char *raw, *label, *symbol;
    EffectKindCategory category;
  };
  using enum EffectKindCategory;
  const Row rows[] = {
      {EffectKind::eq, "eq", "Parametric EQ", "slider.vertical.3", tone},
      {EffectKind::compressor, "compressor", "Compressor", "arrow.down.right.and.arrow.up.left", dynamics},
      {EffectKind::gate, "gate", "Noise Gate", "door.left.hand.closed", dynamics},
      {EffectKind::distortion, "distortion", "Saturation", "flame", tone},
      {EffectKind::delay, "delay", "Delay", "repeat", space},
      {EffectKind::reverb, "reverb", "Reverb", "building.columns", space},
      {EffectKind::chorus, "chorus", "Chorus / Flanger", "water.waves", space},
      {EffectKind::noiseReduction, "noiseReduction", "Noise Reduction", "waveform.badge.minus", restoration},
  };
  ASSERT_EQ(allCases<EffectKind>().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    EXPECT_EQ(allCases<EffectKind>()[i], row.kind);
    EXPECT_EQ(rawValue(row.kind), row.raw);
    EXPECT_EQ(displayName(row.kind), row.label);
    EXPECT_EQ(symbol(row.kind), row.symbol);
    EXPECT_EQ(category(row.kind), row.category);
    EXPECT_EQ(fromRawValue<EffectKind>(std::string(row.raw)), row.kind);
  }
  EXPECT_EQ(rawValue(tone), "Tone");
  EXPECT_EQ(rawValue(dynamics), "Dynamics");
  EXPECT_EQ(rawValue(space), "Time & Space");
  EXPECT_EQ(rawValue(restoration), "Restoration");
}

TEST(EffectKind, BuildingFromTextMatchesRawValuesExactly) {
  for (const char* text : {"Reverb", "Noise Reduction", "Parametric EQ", "eq ", "", "noisereduction"})
    EXPECT_FALSE(fromRawValue<EffectKind>(std::string(text))) << text;
  EXPECT_EQ(fromRawValue<EffectKind>(std::string("noiseReduction")), EffectKind::noiseReduction);
  EXPECT_EQ(fromRawValue<EffectKindCategory>(std::string("Time & Space")), EffectKindCategory::space);
  EXPECT_FALSE(fromRawValue<EffectKindCategory>(std::string("space")));
}

TEST(EffectKind, DefaultSettingsCarryTheKindAndTheRecordDefaults) {
  for (EffectKind kind : allCases<EffectKind>()) EXPECT_EQ(quar::kind(defaultSettings(kind)), kind) << rawValue(kind);

  EXPECT_EQ(std::get<ReverbSettings>(defaultSettings(EffectKind::reverb)), ReverbSettings());
  EXPECT_FALSE(std::get<NoiseReductionSettings>(defaultSettings(EffectKind::noiseReduction)).profile);
  const auto eq = std::get<EQSettings>(defaultSettings(EffectKind::eq));
  EXPECT_EQ(eq.bands.size(), 6u);
  EXPECT_EQ(eq.outputGainDB, 0);
}

TEST(EffectKind, EqualiserDefaultsGetFreshBandIdentities) {
  const EffectSettings first = defaultSettings(EffectKind::eq);
  const EffectSettings second = defaultSettings(EffectKind::eq);
  EXPECT_NE(first, second);
  const EffectSettings copy = first;
  EXPECT_EQ(copy, first);
  EXPECT_EQ(std::hash<EffectSettings>{}(copy), std::hash<EffectSettings>{}(first));
  EXPECT_EQ(defaultSettings(EffectKind::gate), defaultSettings(EffectKind::gate));
}
