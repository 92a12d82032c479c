#include <gtest/gtest.h>

#include "effects/EffectSlot.h"

using quar::EffectKind;

TEST(EffectSlot, NamesSymbolsAndStructuralKeysOfBuiltinSlots) {
  struct Row {
    EffectKind kind;
    const char* name;
    const char* symbol;
    const char* key;
  };
  const Row rows[] = {
      {EffectKind::eq, "Parametric EQ", "slider.vertical.3", "eq"},
      {EffectKind::compressor, "Compressor", "arrow.down.right.and.arrow.up.left", "compressor"},
      {EffectKind::gate, "Noise Gate", "door.left.hand.closed", "gate"},
      {EffectKind::distortion, "Saturation", "flame", "distortion"},
      {EffectKind::delay, "Delay", "repeat", "delay"},
      {EffectKind::reverb, "Reverb", "building.columns", "reverb"},
      {EffectKind::chorus, "Chorus / Flanger", "water.waves", "chorus"},
      {EffectKind::noiseReduction, "Noise Reduction", "waveform.badge.minus", "noiseReduction"},
  };
  for (const Row& row : rows) {
    const EffectSlot slot = EffectSlot::builtin(quar::defaultSettings(row.kind));
    EXPECT_TRUE(slot.isEnabled);
    EXPECT_EQ(slot.displayName(), QString::fromUtf8(row.name));
    EXPECT_EQ(slot.symbol(), QString::fromUtf8(row.symbol));
    EXPECT_EQ(slot.structuralKey(), QString::fromStdString(slot.id.uuidString()) + "-" + row.key);
  }
}

TEST(EffectSlot, APlugInSlotIsNamedAfterItsDescriptor) {
  const quar::AudioUnitDescriptor descriptor{1635083896, 11, 22, "Test Mono Gain", "Quarnel Tests", 0x301, false};
  const EffectSlot slot = EffectSlot::audioUnit(descriptor);
  EXPECT_EQ(slot.displayName(), "Test Mono Gain");
  EXPECT_EQ(slot.symbol(), "puzzlepiece.extension");
  EXPECT_EQ(slot.structuralKey(), QString::fromStdString(slot.id.uuidString()) + "-au-1635083896-11-22");
  EXPECT_EQ(slot.settings(), nullptr);
  EXPECT_EQ(*slot.descriptor(), descriptor);
}

TEST(EffectSlot, KeysDifferBetweenSlotsAndSurviveParameterAndEnabledChanges) {
  EffectSlot reverb = EffectSlot::builtin(quar::defaultSettings(EffectKind::reverb));
  const EffectSlot twin = EffectSlot::builtin(quar::defaultSettings(EffectKind::reverb));
  EXPECT_NE(reverb.structuralKey(), twin.structuralKey());
  EXPECT_NE(reverb.id, twin.id);

  const EffectSlot before = reverb;
  const QString key = reverb.structuralKey();
  std::get<quar::ReverbSettings>(std::get<quar::EffectSettings>(reverb.source)).mix = 0.9;
  reverb.isEnabled = false;
  EXPECT_EQ(reverb.structuralKey(), key);
  EXPECT_NE(reverb, before);  // equality covers the settings and the flag
  EXPECT_EQ(EffectSlot(before), before);
  EXPECT_EQ(std::hash<EffectSlot>{}(EffectSlot(before)), std::hash<EffectSlot>{}(before));
}
