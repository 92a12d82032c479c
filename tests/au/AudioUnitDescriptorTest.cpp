#include <gtest/gtest.h>

#include <unordered_set>

#include "au/AudioUnitDescriptor.h"
#include "au/platform/AudioTypes.h"

using namespace quar;

namespace {

AudioUnitDescriptor sample() {
  return {AudioUnitDescriptor::fourCC("aufx"), 11, 22, "Echo", "Maker", 0x00030001, false};
}

} // namespace

TEST(AudioUnitDescriptor, FourCCPacksUpToFourBytesRightAligned) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"aufx", 0x61756678}, {"", 0},          {"ab", 0x6162},        {"appl", 0x6170706C},
      {"aufxyz", 0x61756678}, {"\xC3\xA9", 0xC3A9}, {"nsnd", 0x6E736E64},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(AudioUnitDescriptor::fourCC(text), value) << text;
}

TEST(AudioUnitDescriptor, IdIsTheThreeCodesInDecimal) {
  const AudioUnitDescriptor fourCharCodes(AudioUnitDescriptor::fourCC("aufx"), AudioUnitDescriptor::fourCC("dely"),
                                          AudioUnitDescriptor::fourCC("appl"), "", "", 0, true);
  EXPECT_EQ(fourCharCodes.id(), "1635083896-1684368505-1634758764");
  EXPECT_EQ(sample().id(), "1635083896-11-22");
  const AudioUnitDescriptor highCodes(0xFFFFFFFF, 0x80000000, 0, "", "", 0, false);
  EXPECT_EQ(highCodes.id(), "4294967295-2147483648-0");
  const auto description = sample().componentDescription();
  EXPECT_EQ(description, (AudioComponentDescription{0x61756678, 11, 22, 0, 0}));
}

TEST(AudioUnitDescriptor, EqualityAndHashCoverAllSevenFields) {
  const AudioUnitDescriptor base = sample();
  EXPECT_EQ(base, sample());
  EXPECT_EQ(std::hash<AudioUnitDescriptor>{}(base), std::hash<AudioUnitDescriptor>{}(sample()));
  std::vector<AudioUnitDescriptor> changed(7, base);
  changed[0].componentType = 1;
  changed[1].componentSubType = 12;
  changed[2].componentManufacturer = 23;
  changed[3].name = "echo";
  changed[4].manufacturerName = "maker";
  changed[5].version = 2;
  changed[6].isAppleBuiltIn = true;
  std::unordered_set<AudioUnitDescriptor> set{base};
  for (const auto& other : changed) {
    EXPECT_NE(other, base);
    set.insert(other);
  }
  EXPECT_EQ(set.size(), 8u);
  // Names, version and flag take no part in the id.
  for (size_t i = 3; i < changed.size(); ++i) EXPECT_EQ(changed[i].id(), base.id());
}

TEST(AudioUnitDescriptor, JsonRoundTripsWithTheSevenKeys) {
  const Json json = sample();
  EXPECT_EQ(json, Json::parse(R"({"componentType":1635083896,"componentSubType":11,"componentManufacturer":22,
    "name":"Echo","manufacturerName":"Maker","version":196609,"isAppleBuiltIn":false})"));
  EXPECT_EQ(json.get<AudioUnitDescriptor>(), sample());
  const AudioUnitDescriptor max(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "", "", 0xFFFFFFFF, true);
  EXPECT_EQ(Json(max).get<AudioUnitDescriptor>(), max);

  Json extra = json;
  extra["comment"] = "ignored";
  EXPECT_EQ(extra.get<AudioUnitDescriptor>(), sample());
}

TEST(AudioUnitDescriptor, JsonDecodingRequiresEveryKeyWithItsType) {
  const Json json = sample();
  for (const auto& [key, value] : json.items()) {
    Json missing = json;
    missing.erase(key);
    EXPECT_THROW(missing.get<AudioUnitDescriptor>(), DecodingError) << key;
  }
  const std::pair<const char*, Json> wrong[] = {
      {"isAppleBuiltIn", 0},          {"isAppleBuiltIn", "false"}, {"version", -1},
      {"version", 4294967296LL},      {"componentType", 1.5},      {"componentSubType", "11"},
      {"name", 5},                    {"manufacturerName", nullptr},
  };
  for (const auto& [key, value] : wrong) {
    Json bad = json;
    bad[key] = value;
    EXPECT_THROW(bad.get<AudioUnitDescriptor>(), DecodingError) << key << " = " << value.dump();
  }
  EXPECT_THROW(Json::array().get<AudioUnitDescriptor>(), DecodingError);
}
