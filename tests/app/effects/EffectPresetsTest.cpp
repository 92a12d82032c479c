// The effect presets: the factory tables and the user presets in their one JSON file (ordering,
// replacing, the noise profile left out, unreadable files set aside, failures reported).
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <limits>

#include "PresetTestSupport.h"
#include "base/Enums.h"
#include "effects/EffectPresets.h"

using namespace PresetTestSupport;
using namespace quar;

namespace {

QStringList names(const std::vector<EffectPresets::Preset>& presets) {
  QStringList list;
  for (const auto& preset : presets) list << preset.name;
  return list;
}

CompressorSettings compressor(double thresholdDB) {
  CompressorSettings settings;
  settings.thresholdDB = thresholdDB;
  return settings;
}

NoiseReductionSettings learntNoiseReduction() {
  NoiseReductionSettings settings;
  settings.profile = NoiseProfile{512, 48000, std::vector<float>(257, 0.25f)};
  settings.reductionDB = 24;
  settings.outputNoiseOnly = true;
  return settings;
}

Json fileJson() {
  const QByteArray data = contents(EffectPresets::filePath());
  return Json::parse(data.begin(), data.end());
}

} // namespace

class EffectPresetsTest : public PresetTest {};

TEST_F(EffectPresetsTest, FactoryPresetsPerKindInTheirFixedOrder) {
  const std::vector<size_t> counts{7, 6, 3, 4, 5, 5, 4, 3};
  for (size_t i = 0; i < counts.size(); ++i) {
    const EffectKind kind = allCases<EffectKind>()[i];
    const auto presets = EffectPresets::factory(kind);
    EXPECT_EQ(presets.size(), counts[i]) << rawValue(kind);
    for (const auto& preset : presets) EXPECT_EQ(quar::kind(preset.settings), kind) << preset.name.toStdString();
  }
  EXPECT_EQ(names(EffectPresets::factory(EffectKind::eq)),
            QStringList({"Flat", "Vocal Presence", "Bass Boost", "Remove Mud", "Add Air", "Telephone",
                         "Hum Notch (60 Hz)"}));
  EXPECT_EQ(names(EffectPresets::factory(EffectKind::delay)),
            QStringList({"Slapback", "Quarter Note @ 120", "Dotted Eighth Ping-Pong", "Dub Echo", "Wide Doubler"}));
}

TEST_F(EffectPresetsTest, FactoryPresetValues) {
  const auto compressors = EffectPresets::factory(EffectKind::compressor);
  EXPECT_EQ(compressors[3].name, "Parallel Crush");
  EXPECT_EQ(std::get<CompressorSettings>(compressors[3].settings),
            (CompressorSettings{-35, 10, 0, 1, 60, 0, true, DetectionMode::peak, true, 0.4}));
  EXPECT_EQ(std::get<CompressorSettings>(compressors[5].settings).autoMakeup, false);  // Peak Catcher

  const auto reverbs = EffectPresets::factory(EffectKind::reverb);
  EXPECT_EQ(reverbs[4].name, "Cathedral");
  EXPECT_EQ(std::get<ReverbSettings>(reverbs[4].settings), (ReverbSettings{45, 7.0, 1.0, 0.6, 0.8, 1.0, 100, 0.35}));

  const auto equalisers = EffectPresets::factory(EffectKind::eq);
  EXPECT_EQ(equalisers[5].name, "Telephone");
  const auto& telephone = std::get<EQSettings>(equalisers[5].settings);
  ASSERT_EQ(telephone.bands.size(), 3u);
  EXPECT_EQ(telephone.bands[0].type, EQBandType::lowCut);
  EXPECT_EQ(telephone.bands[0].frequency, 300);
  EXPECT_EQ(telephone.bands[0].slopeDBPerOctave, 48);
  EXPECT_EQ(telephone.bands[1].type, EQBandType::peak);
  EXPECT_EQ(telephone.bands[1].gainDB, 5);
  EXPECT_EQ(telephone.bands[1].q, 0.8);
  EXPECT_EQ(telephone.bands[2].type, EQBandType::highCut);
  EXPECT_EQ(telephone.bands[2].frequency, 3400);
  EXPECT_EQ(std::get<EQSettings>(equalisers[0].settings).bands.size(), 6u);  // Flat: the default bands
  for (const auto& preset : equalisers) {
    const auto& eq = std::get<EQSettings>(preset.settings);
    EXPECT_EQ(eq.outputGainDB, 0);
    if (preset.name == "Flat") continue;
    for (const auto& band : eq.bands) EXPECT_TRUE(band.isEnabled);
  }
  // Every call builds the bands anew.
  EXPECT_NE(std::get<EQSettings>(EffectPresets::factory(EffectKind::eq)[5].settings).bands[0].id, telephone.bands[0].id);
  for (const auto& preset : EffectPresets::factory(EffectKind::noiseReduction)) {
    const auto& settings = std::get<NoiseReductionSettings>(preset.settings);
    EXPECT_FALSE(settings.profile);
    EXPECT_FALSE(settings.outputNoiseOnly);
  }
}

TEST_F(EffectPresetsTest, WithoutAFileThereAreNoUserPresetsUntilTheFirstSaveWritesIt) {
  ASSERT_FALSE(QFileInfo::exists(EffectPresets::filePath()));
  for (EffectKind kind : allCases<EffectKind>()) EXPECT_TRUE(EffectPresets::user(kind).empty());
  clearPresets();  // no folder either

  EXPECT_EQ(EffectPresets::save(compressor(-12), "Mine"), std::nullopt);
  EXPECT_EQ(presetFiles(), QStringList({"EffectPresets.json"}));
  EXPECT_EQ(fileJson()["compressor"]["Mine"], Json(EffectSettings(compressor(-12))));

  EffectPresets::forgetCache();  // as in the next run
  const auto mine = EffectPresets::user(EffectKind::compressor);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (EffectPresets::Preset{"Mine", compressor(-12)}));
}

TEST_F(EffectPresetsTest, UserPresetsAreListedInLocalizedStandardOrder) {
  for (const char* name : {"Preset 10", "preset 2", "Preset 1", "beta", "Alpha", "Gamma"})
    ASSERT_EQ(EffectPresets::save(compressor(-10), name), std::nullopt);
  EXPECT_EQ(names(EffectPresets::user(EffectKind::compressor)),
            QStringList({"Alpha", "beta", "Gamma", "Preset 1", "preset 2", "Preset 10"}));
}

TEST_F(EffectPresetsTest, SavingReplacesTheSameNameWithinAKindOnly) {
  ASSERT_EQ(EffectPresets::save(compressor(-10), "Voice"), std::nullopt);
  ASSERT_EQ(EffectPresets::save(compressor(-20), "Voice"), std::nullopt);
  ASSERT_EQ(EffectPresets::save(GateSettings{}, "Voice"), std::nullopt);
  ASSERT_EQ(EffectPresets::user(EffectKind::compressor).size(), 1u);
  EXPECT_EQ(std::get<CompressorSettings>(EffectPresets::user(EffectKind::compressor)[0].settings).thresholdDB, -20);
  EXPECT_EQ(EffectPresets::user(EffectKind::gate).size(), 1u);
  EXPECT_EQ(fileJson().size(), 2u);
}

TEST_F(EffectPresetsTest, ANoiseReductionPresetIsStoredWithoutItsProfile) {
  ASSERT_EQ(EffectPresets::save(learntNoiseReduction(), "Room"), std::nullopt);
  const auto stored = std::get<NoiseReductionSettings>(EffectPresets::user(EffectKind::noiseReduction).at(0).settings);
  NoiseReductionSettings expected = learntNoiseReduction();
  expected.profile.reset();
  EXPECT_EQ(stored, expected);
  EXPECT_FALSE(fileJson()["noiseReduction"]["Room"]["noiseReduction"]["_0"].contains("profile"));
}

TEST_F(EffectPresetsTest, AFileThatCannotBeDecodedIsSetAsideBeforeTheFirstSave) {
  const QByteArray wellFormed = QByteArray::fromStdString(Json{{"gate", {{"Old", Json(EffectSettings(GateSettings{}))}}}}.dump());
  const QByteArray unknownCase = R"({"gate": {"Old": {"wobble": {"_0": {}}}}})";
  const QByteArray missingField = R"({"gate": {"Old": {"gate": {"_0": {"thresholdDB": -40}}}}})";
  for (const QByteArray& bad : {QByteArray("not json"), QByteArray("[1, 2]"), unknownCase, missingField,
                                wellFormed.left(wellFormed.size() - 3)}) {
    SCOPED_TRACE(bad.toStdString());
    clearPresets();
    write(EffectPresets::filePath(), bad);
    EXPECT_TRUE(EffectPresets::user(EffectKind::gate).empty());
    EXPECT_EQ(contents(EffectPresets::filePath()), bad);  // reading changes nothing

    ASSERT_EQ(EffectPresets::save(compressor(-10), "New"), std::nullopt);
    ASSERT_EQ(EffectPresets::save(compressor(-11), "Newer"), std::nullopt);  // set aside once
    QStringList files = presetFiles();
    ASSERT_TRUE(files.removeOne("EffectPresets.json"));
    ASSERT_EQ(files.size(), 1) << files.join(", ").toStdString();
    EXPECT_TRUE(QRegularExpression("^EffectPresets-unreadable-\\d{8}-\\d{6}\\.json$").match(files[0]).hasMatch());
    EXPECT_EQ(contents(QDir(presetsFolder()).filePath(files[0])), bad);
    EXPECT_EQ(fileJson().size(), 1u);
    EXPECT_EQ(fileJson()["compressor"].size(), 2u);
  }
}

TEST_F(EffectPresetsTest, AnEntryOfAnotherKindThanItsSectionIsNotListed) {
  write(EffectPresets::filePath(),
        QByteArray::fromStdString(Json{{"eq", {{"Odd", Json(EffectSettings(compressor(-3)))}}}}.dump()));
  EXPECT_TRUE(EffectPresets::user(EffectKind::eq).empty());
  EXPECT_TRUE(EffectPresets::user(EffectKind::compressor).empty());
}

TEST_F(EffectPresetsTest, APresetThatCannotBeEncodedChangesNothing) {
  ASSERT_EQ(EffectPresets::save(compressor(-10), "Good"), std::nullopt);
  const QByteArray before = contents(EffectPresets::filePath());

  const auto failure = EffectPresets::save(compressor(std::numeric_limits<double>::quiet_NaN()), "Bad");
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->startsWith(QStringLiteral("Couldn\u2019t save the preset \u201CBad\u201D: "))) << failure->toStdString();
  EXPECT_EQ(names(EffectPresets::user(EffectKind::compressor)), QStringList({"Good"}));
  EXPECT_EQ(contents(EffectPresets::filePath()), before);
}

TEST_F(EffectPresetsTest, AFileThatCannotBeWrittenIsReportedAndThePresetKeptForTheRun) {
  const QString folder = presetsFolder();
  clearPresets();
  write(folder, "a file where the folder belongs");

  const auto failure = EffectPresets::save(compressor(-10), "Kept");
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->startsWith(QStringLiteral("Couldn\u2019t save the preset \u201CKept\u201D: "))) << failure->toStdString();
  EXPECT_EQ(names(EffectPresets::user(EffectKind::compressor)), QStringList({"Kept"}));
}
