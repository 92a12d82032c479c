#include <gtest/gtest.h>

#include <QComboBox>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/ExportFormatChoice.h"
#include "support/Preferences.h"

using quar::EncodeSettings;
using quar::ExportFormat;

class ExportFormatChoiceTest : public AppTest {};

TEST_F(ExportFormatChoiceTest, TheNameAndTypeFollowTheFormat) {
  struct Case {
    const char* name;
    const char* renamed;
  };
  for (const Case& c : {Case{"Take 3.wav", "Take 3.flac"}, Case{"My.Song", "My.flac"}, Case{"", ""}}) {
    SavePanel panel;
    panel.setNameFieldText(QString::fromUtf8(c.name));
    ExportFormatChoice choice(EncodeSettings::defaults(ExportFormat::wav).normalized(), &panel);
    choice.setFormat(ExportFormat::flac);
    EXPECT_EQ(panel.nameFieldText(), QString::fromUtf8(c.renamed));
    EXPECT_EQ(panel.allowedExtensions(), QStringList{QStringLiteral("flac")});
  }
}

TEST_F(ExportFormatChoiceTest, AnotherFormatTakesItsStoredSettingsAndKeepsTheRate) {
  EncodeSettings storedFlac = EncodeSettings::defaults(ExportFormat::flac);
  storedFlac.bitDepth = quar::PCMBitDepth::int16;
  Preferences::store(storedFlac);
  EncodeSettings wav = EncodeSettings::defaults(ExportFormat::wav);
  wav.sampleRate = 96000;
  SavePanel panel;
  ExportFormatChoice choice(wav, &panel);
  choice.setFormat(ExportFormat::flac);
  EXPECT_EQ(choice.settings().format, ExportFormat::flac);
  EXPECT_EQ(choice.settings().bitDepth, quar::PCMBitDepth::int16);
  EXPECT_EQ(choice.settings().sampleRate, 96000);
  EXPECT_EQ(choice.findChild<QComboBox*>(QStringLiteral("formatChoice"))->currentText(), QStringLiteral("FLAC"));
}

TEST_F(ExportFormatChoiceTest, OffersTheFormatsThisMachineEncodes) {
  SavePanel panel;
  ExportFormatChoice choice(EncodeSettings::defaults(ExportFormat::wav), &panel);
  const auto* menu = choice.findChild<QComboBox*>(QStringLiteral("formatChoice"));
  QStringList expected;
  for (const ExportFormat format : quar::allCases<ExportFormat>())
    if (quar::AudioEncoder::isAvailable(format)) expected << QString::fromUtf8(std::string(quar::displayName(format)));
  QStringList shown;
  for (int i = 0; i < menu->count(); ++i) shown << menu->itemText(i);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(menu->currentText(), QStringLiteral("WAV"));
}
