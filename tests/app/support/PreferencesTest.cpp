#include <gtest/gtest.h>

#include <QSettings>

#include "AppTestSupport.h"
#include "editor/EditorModel.h"
#include "support/Preferences.h"

using quar::EncodeSettings;
using quar::ExportFormat;

class PreferencesTest : public AppTest {};

TEST_F(PreferencesTest, FreshStoreReadsRegisteredDefaults) {
  EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
  EXPECT_EQ(model.loudnessSettings().targetLUFS(), -14);
  EXPECT_EQ(model.loudnessSettings().ceilingDBTP(), -1);
  EXPECT_EQ(model.viewSettings().loudnessLaneHeight(), 130);
  EXPECT_TRUE(model.viewSettings().showLoudnessLane());
  EXPECT_TRUE(model.viewSettings().showInspector());
  EXPECT_FALSE(model.snapToZeroCrossings());
  EXPECT_EQ(model.viewSettings().timeFormat(), TimeFormat::hms);
  EXPECT_EQ(Preferences::stringValue(Preferences::Keys::fadeShape), QStringLiteral("sCurve"));
}

TEST_F(PreferencesTest, UnreadableStoredValuesReadAsDefaults) {
  QSettings settings;
  settings.setValue(Preferences::Keys::loudnessTarget, QStringLiteral("loud"));
  settings.setValue(Preferences::Keys::truePeakCeiling, QStringLiteral("nan"));
  settings.setValue(Preferences::Keys::showInspector, QStringLiteral("maybe"));
  settings.setValue(Preferences::Keys::timeFormat, QStringLiteral("minutes"));
  settings.setValue(Preferences::Keys::showLoudnessLane, false);
  settings.sync();
  EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
  EXPECT_EQ(model.loudnessSettings().targetLUFS(), -14);
  EXPECT_EQ(model.loudnessSettings().ceilingDBTP(), -1);
  EXPECT_TRUE(model.viewSettings().showInspector());
  EXPECT_EQ(model.viewSettings().timeFormat(), TimeFormat::hms);
  EXPECT_FALSE(model.viewSettings().showLoudnessLane());
}

TEST_F(PreferencesTest, LaneHeightMinimumAppliesOnlyAtStart) {
  Preferences::setValue(Preferences::Keys::loudnessLaneHeight, 40.0);
  EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
  EXPECT_EQ(model.viewSettings().loudnessLaneHeight(), 80);
  model.viewSettings().setLoudnessLaneHeight(40);
  EXPECT_EQ(Preferences::doubleValue(Preferences::Keys::loudnessLaneHeight), 40);
}

TEST_F(PreferencesTest, SettingsPersistFromModelSideEffects) {
  {
    EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
    model.viewSettings().setTimeFormat(TimeFormat::seconds);
    model.setSnapToZeroCrossings(true);
    model.loudnessSettings().setTargetLUFS(-23);
    model.loudnessSettings().setCeilingDBTP(-2);
  }
  EditorModel model(quar::AudioContent(2, 48000), std::nullopt);
  EXPECT_EQ(model.viewSettings().timeFormat(), TimeFormat::seconds);
  EXPECT_TRUE(model.snapToZeroCrossings());
  EXPECT_EQ(model.loudnessSettings().targetLUFS(), -23);
  EXPECT_EQ(model.loudnessSettings().ceilingDBTP(), -2);
}

TEST_F(PreferencesTest, EncodeSettingsPerFormat) {
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::flac), EncodeSettings::defaults(ExportFormat::flac));

  // Settings of another format under a format's key are ignored.
  QSettings().setValue(Preferences::Keys::encodeSettings(ExportFormat::flac),
                       QByteArray(R"({"format":"mp3","bitDepth":16,"bitRateKbps":192,"dither":"none"})"));
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::flac), EncodeSettings::defaults(ExportFormat::flac));

  // Undecodable data too.
  QSettings().setValue(Preferences::Keys::encodeSettings(ExportFormat::wav), QByteArray("{not json"));
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::wav), EncodeSettings::defaults(ExportFormat::wav));

  // A bit depth the format does not allow comes back normalised.
  QSettings().setValue(Preferences::Keys::encodeSettings(ExportFormat::flac),
                       QByteArray(R"({"format":"flac","bitDepth":0,"bitRateKbps":256,"dither":"tpdf"})"));
  const EncodeSettings flac = Preferences::encodeSettings(ExportFormat::flac);
  EXPECT_EQ(flac, (EncodeSettings{ExportFormat::flac, quar::PCMBitDepth::float32, 256, quar::DitherMode::tpdf, {}}.normalized()));
  EXPECT_NE(flac.bitDepth, quar::PCMBitDepth::float32);
}

TEST_F(PreferencesTest, StoreRemembersSettingsAndLastFormat) {
  EXPECT_EQ(Preferences::lastExportFormat(), ExportFormat::wav);
  QSettings().setValue(Preferences::Keys::lastExportFormat, QStringLiteral("ogg"));
  EXPECT_EQ(Preferences::lastExportFormat(), ExportFormat::wav);

  EncodeSettings wav = EncodeSettings::defaults(ExportFormat::wav);
  wav.bitDepth = quar::PCMBitDepth::int16;
  Preferences::store(wav);
  EncodeSettings mp3 = EncodeSettings::defaults(ExportFormat::mp3);
  mp3.bitRateKbps = 192;
  Preferences::store(mp3);
  EXPECT_EQ(Preferences::lastExportFormat(), ExportFormat::mp3);
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::mp3), mp3.normalized());
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::wav).bitDepth, quar::PCMBitDepth::int16);

  // Settings that cannot be encoded keep the stored ones but still name the last format.
  EncodeSettings bad = EncodeSettings::defaults(ExportFormat::wav);
  bad.sampleRate = std::nan("");
  Preferences::store(bad);
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::wav).bitDepth, quar::PCMBitDepth::int16);
  EXPECT_EQ(Preferences::lastExportFormat(), ExportFormat::wav);
}
