#include <gtest/gtest.h>

#include <unordered_set>

#include "au/AUParameterInfo.h"
#include "au/platform/PlatformUnit.h"

using namespace quar;

TEST(AUParameterInfo, UnitTexts) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, ""},       {1, ""},        {2, ""},          {3, "%"},     {4, "s"},      {5, "samples"}, {6, "rad"},
      {7, "\u00D7"}, {8, "Hz"},      {9, "cents"},     {10, "semitones"}, {11, "note"}, {12, "CC"}, {13, "dB"},
      {14, "gain"},  {15, "\u00B0"}, {16, "%"},        {17, "dB"},   {18, "pan"},   {19, "m"},     {20, "cents"},
      {21, "oct"},   {22, "BPM"},    {23, "beats"},    {24, "ms"},   {25, ":1"},    {26, ""},      {999, ""},
  };
  for (const auto& [unit, text] : cases) EXPECT_EQ(AUParameterInfo::nameOf(unit), text) << unit;
}

TEST(AUParameterInfo, SnapshotOfAPlatformParameter) {
  PlatformParameter p{7, "cutoff", "filter.cutoff", "Cutoff", std::nullopt, parameterUnit::hertz, 20, 20000, 440,
                      parameterFlag::isReadable | parameterFlag::isWritable | parameterFlag::displayLogarithmic,
                      std::nullopt};
  const AUParameterInfo info = AUParameterInfo::from(p);
  EXPECT_EQ(info, (AUParameterInfo{7, "cutoff", "filter.cutoff", "Cutoff", "Hz", parameterUnit::hertz, 20, 20000, 440,
                                   true, std::nullopt, true}));
  EXPECT_EQ(info.id(), 7u);
  EXPECT_FALSE(info.isIndexed());
  EXPECT_FALSE(info.isBoolean());

  p.unitName = "";  // an empty text of the unit's own falls back to the unit's
  p.unit = parameterUnit::decibels;
  EXPECT_EQ(AUParameterInfo::from(p).unitName, "dB");
  p.unitName = "dBFS";
  EXPECT_EQ(AUParameterInfo::from(p).unitName, "dBFS");
  p.unitName.reset();
  p.unit = parameterUnit::generic;
  p.flags = parameterFlag::isReadable;
  p.valueStrings = std::vector<std::string>{"A", "B"};
  const AUParameterInfo readOnly = AUParameterInfo::from(p);
  EXPECT_EQ(readOnly.unitName, "");
  EXPECT_FALSE(readOnly.isWritable);
  EXPECT_FALSE(readOnly.prefersLogarithmicDisplay);
  EXPECT_EQ(readOnly.valueStrings, (std::vector<std::string>{"A", "B"}));
  p.unit = parameterUnit::indexed;
  EXPECT_TRUE(AUParameterInfo::from(p).isIndexed());
  p.unit = parameterUnit::boolean;
  EXPECT_TRUE(AUParameterInfo::from(p).isBoolean());
}

TEST(AUParameterInfo, EqualityAndHashingCoverEveryField) {
  const AUParameterInfo base{1, "a", "a", "A", "dB", 13, 0, 1, 0.5f, true, std::nullopt, false};
  auto changed = [&](auto edit) {
    AUParameterInfo copy = base;
    edit(copy);
    return copy;
  };
  const AUParameterInfo variants[] = {
      changed([](auto& p) { p.address = 2; }),       changed([](auto& p) { p.identifier = "b"; }),
      changed([](auto& p) { p.keyPath = "b"; }),     changed([](auto& p) { p.name = "B"; }),
      changed([](auto& p) { p.unitName = "Hz"; }),   changed([](auto& p) { p.unit = 8; }),
      changed([](auto& p) { p.minValue = -1; }),     changed([](auto& p) { p.maxValue = 2; }),
      changed([](auto& p) { p.value = 0.25f; }),     changed([](auto& p) { p.isWritable = false; }),
      changed([](auto& p) { p.valueStrings = std::vector<std::string>{}; }),
      changed([](auto& p) { p.prefersLogarithmicDisplay = true; }),
  };
  std::unordered_set<AUParameterInfo> set{base};
  for (const auto& variant : variants) {
    EXPECT_NE(variant, base);
    set.insert(variant);
  }
  EXPECT_EQ(set.size(), 13u);
  EXPECT_EQ(std::hash<AUParameterInfo>{}(changed([](auto&) {})), std::hash<AUParameterInfo>{}(base));
}
