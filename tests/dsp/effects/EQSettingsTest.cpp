#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dsp/effects/EQSettings.h"

using namespace quar;

TEST(EQSettings, BuiltWithoutBandsHasTheSixDefaultBands) {
  struct Row {
    EQBandType type;
    double frequency, q;
    bool enabled;
  };
  using enum EQBandType;
  const Row rows[] = {{lowCut, 30, 0.707, false},   {lowShelf, 100, 0.707, true}, {peak, 400, 1.0, true},
                      {peak, 2500, 1.0, true},      {highShelf, 8000, 0.707, true}, {highCut, 18000, 0.707, false}};
  const EQSettings settings;
  EXPECT_EQ(settings.outputGainDB, 0);
  ASSERT_EQ(settings.bands.size(), std::size(rows));
  std::set<Uuid> ids;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const EQBand& band = settings.bands[i];
    EXPECT_EQ(band.type, rows[i].type) << i;
    EXPECT_EQ(band.frequency, rows[i].frequency) << i;
    EXPECT_EQ(band.q, rows[i].q) << i;
    EXPECT_EQ(band.isEnabled, rows[i].enabled) << i;
    EXPECT_EQ(band.gainDB, 0) << i;
    EXPECT_EQ(band.slopeDBPerOctave, 24) << i;
    ids.insert(band.id);
  }
  EXPECT_EQ(ids.size(), 6u);
  EXPECT_EQ(ids.count(Uuid()), 0u);
}

TEST(EQSettings, GivenBandsAreStoredUnchanged) {
  EXPECT_TRUE(EQSettings(std::vector<EQBand>{}).bands.empty());

  std::vector<EQBand> ten;
  for (int i = 0; i < 10; ++i) ten.emplace_back(EQBandType::notch, 100.0 * (i + 1), -3, 2, 12, i % 2 == 0);
  const EQSettings settings(ten, -2.5);
  EXPECT_EQ(settings.bands, ten);
  EXPECT_EQ(settings.outputGainDB, -2.5);

  // Out-of-range values are kept; the processor limits them.
  const EQBand wild(EQBandType::highCut, -5, 99, 0, 7, false);
  EXPECT_EQ(wild.frequency, -5);
  EXPECT_EQ(wild.gainDB, 99);
  EXPECT_EQ(wild.q, 0);
  EXPECT_EQ(wild.slopeDBPerOctave, 7);
  EXPECT_FALSE(wild.isEnabled);
}

TEST(EQSettings, BandEqualityIncludesIdentity) {
  const EQBand a(EQBandType::peak, 1000, 3, 1, 24, true);
  const EQBand b(EQBandType::peak, 1000, 3, 1, 24, true);
  EXPECT_NE(a.id, b.id);
  EXPECT_NE(a, b);
  EQBand c = b;
  c.id = a.id;
  EXPECT_EQ(a, c);
}

TEST(EQBandType, TablesAndFlags) {
  struct Row {
    EQBandType type;
    const char *raw, *label;
    bool gain, slope;
  };
  using enum EQBandType;
  const Row rows[] = {{lowCut, "lowCut", "Low Cut", false, true},       {lowShelf, "lowShelf", "Low Shelf", true, false},
                      {peak, "peak", "Bell", true, false},              {notch, "notch", "Notch", false, false},
                      {highShelf, "highShelf", "High Shelf", true, false}, {highCut, "highCut", "High Cut", false, true}};
  ASSERT_EQ(allCases<EQBandType>().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(allCases<EQBandType>()[i], rows[i].type);
    EXPECT_EQ(rawValue(rows[i].type), rows[i].raw);
    EXPECT_EQ(displayName(rows[i].type), rows[i].label);
    EXPECT_EQ(usesGain(rows[i].type), rows[i].gain) << rows[i].raw;
    EXPECT_EQ(usesSlope(rows[i].type), rows[i].slope) << rows[i].raw;
  }
  EXPECT_FALSE(fromRawValue<EQBandType>(std::string("Bell")));
}
