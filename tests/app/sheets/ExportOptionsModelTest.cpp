#include <gtest/gtest.h>

#include <QSignalSpy>

#include "AppTestSupport.h"
#include "io/AudioEncoder.h"
#include "platform/SavePanel.h"
#include "sheets/ExportOptionsModel.h"
#include "support/Preferences.h"

using quar::EncodeSettings;
using quar::ExportFormat;

namespace {

const QString lossy = QStringLiteral("Lossy format \u2014 some audio detail is discarded.");

EncodeSettings settings(ExportFormat format, std::optional<double> sampleRate = std::nullopt) {
  EncodeSettings settings = EncodeSettings::defaults(format).normalized();
  settings.sampleRate = sampleRate;
  return settings;
}

} // namespace

class ExportOptionsModelTest : public AppTest {};

TEST_F(ExportOptionsModelTest, RateTexts) {
  for (const auto& [rate, text] : std::vector<std::pair<double, const char*>>{
           {48000, "48 kHz"}, {8000, "8 kHz"}, {192000, "192 kHz"}, {44100, "44.1 kHz"},
           {22050, "22.1 kHz"}, {11025, "11.0 kHz"}, {176400, "176.4 kHz"}, {88200, "88.2 kHz"}})
    EXPECT_EQ(ExportOptionsModel::rateText(rate), QString::fromUtf8(text)) << rate;
}

TEST_F(ExportOptionsModelTest, SampleRateChoicesKeepTheStandardRatesTheFormatWrites) {
  using Rates = std::vector<double>;
  const Rates all(ExportOptionsModel::standardSampleRates.begin(), ExportOptionsModel::standardSampleRates.end());
  for (const ExportFormat format : {ExportFormat::wav, ExportFormat::aiff, ExportFormat::caf, ExportFormat::flac, ExportFormat::alac})
    EXPECT_EQ(ExportOptionsModel::sampleRateChoices(format), all);
  EXPECT_EQ(ExportOptionsModel::sampleRateChoices(ExportFormat::aac), (Rates{22050, 32000, 44100, 48000, 88200, 96000}));
  EXPECT_EQ(ExportOptionsModel::sampleRateChoices(ExportFormat::mp3), (Rates{32000, 44100, 48000}));
  EXPECT_EQ(ExportOptionsModel::sampleRateChoices(ExportFormat::opus), Rates{48000});
}

TEST_F(ExportOptionsModelTest, NotesWarnOfResamplingDownmixingAndLossyEncoding) {
  struct Case {
    ExportFormat format;
    std::optional<double> sampleRate;
    double sourceRate;
    int channels;
    QStringList notes;
  };
  const std::vector<Case> cases{
      {ExportFormat::mp3, std::nullopt, 96000, 2,
       {QStringLiteral("MP3 doesn\u2019t support 96 kHz; audio will be resampled to 48 kHz."), lossy}},
      {ExportFormat::opus, std::nullopt, 44100, 2,
       {QStringLiteral("Opus doesn\u2019t support 44.1 kHz; audio will be resampled to 48 kHz."), lossy}},
      // An explicit rate never asks for the resampling note.
      {ExportFormat::opus, 48000, 44100, 2, {lossy}},
      {ExportFormat::mp3, 32000, 96000, 2, {lossy}},
      // Halfway between two rates: the earlier one.
      {ExportFormat::aac, std::nullopt, 46050, 2,
       {QStringLiteral("AAC doesn\u2019t support 46.0 kHz; audio will be resampled to 44.1 kHz."), lossy}},
      {ExportFormat::aac, std::nullopt, 44100, 2, {lossy}},
      {ExportFormat::mp3, std::nullopt, 48000, 6,
       {QStringLiteral("MP3 supports at most 2 channels; audio will be downmixed."), lossy}},
      {ExportFormat::opus, std::nullopt, 48000, 3,
       {QStringLiteral("Opus supports at most 2 channels; audio will be downmixed."), lossy}},
      {ExportFormat::flac, std::nullopt, 96000, 6, {}},
      {ExportFormat::wav, std::nullopt, 12345, 9, {QStringLiteral("WAV supports at most 8 channels; audio will be downmixed.")}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExportOptionsModel::notes(settings(c.format, c.sampleRate), c.sourceRate, c.channels), c.notes)
        << quar::rawValue(c.format) << " " << c.sourceRate << " " << c.channels;
}

TEST_F(ExportOptionsModelTest, AnotherFormatTakesItsStoredSettings) {
  EncodeSettings storedMP3 = settings(ExportFormat::mp3);
  storedMP3.bitRateKbps = 192;
  Preferences::store(storedMP3);
  EncodeSettings storedFLAC = settings(ExportFormat::flac);
  storedFLAC.bitDepth = quar::PCMBitDepth::int16;
  storedFLAC.dither = quar::DitherMode::none;
  Preferences::store(storedFLAC);

  ExportOptionsModel model(settings(ExportFormat::wav), 96000, 2, nullptr);
  QSignalSpy changes(&model, &ExportOptionsModel::settingsChanged);
  model.setFormat(ExportFormat::mp3);
  EXPECT_EQ(model.settings(), storedMP3);
  EXPECT_EQ(model.notes(), (QStringList{QStringLiteral("MP3 doesn\u2019t support 96 kHz; audio will be resampled to 48 kHz."), lossy}));
  EXPECT_EQ(changes.count(), 1);
  model.setFormat(ExportFormat::mp3);
  model.setSettings(model.settings());
  EXPECT_EQ(changes.count(), 1);
  model.setFormat(ExportFormat::flac);
  EXPECT_EQ(model.settings(), storedFLAC);
  // Without stored settings: the format's defaults, normalised.
  model.setFormat(ExportFormat::aiff);
  EXPECT_EQ(model.settings(), settings(ExportFormat::aiff));
  EXPECT_EQ(changes.count(), 3);
}

// A chosen rate the new format does not write is not kept behind the form's back: the export
// goes back to the source's rate, and the notes say what the encoder will do with it.
TEST_F(ExportOptionsModelTest, AChosenRateTheNewFormatCannotWriteFallsBackToTheSourceRate) {
  struct Case {
    double chosen;
    ExportFormat to;
    std::optional<double> kept;
  };
  for (const Case& c : {Case{96000, ExportFormat::mp3, std::nullopt}, Case{48000, ExportFormat::mp3, 48000},
                        Case{96000, ExportFormat::aac, 96000}, Case{176400, ExportFormat::aac, std::nullopt},
                        Case{44100, ExportFormat::opus, std::nullopt}, Case{22050, ExportFormat::flac, 22050}}) {
    ExportOptionsModel model(settings(ExportFormat::wav, c.chosen), 96000, 2, nullptr);
    model.setFormat(c.to);
    EXPECT_EQ(model.settings().sampleRate, c.kept) << c.chosen << " " << quar::rawValue(c.to);
  }
  // Settings that start with such a rate are read the same way.
  ExportOptionsModel stale(settings(ExportFormat::mp3, 96000), 96000, 2, nullptr);
  EXPECT_EQ(stale.settings().sampleRate, std::nullopt);
  EXPECT_EQ(stale.notes().front(), QStringLiteral("MP3 doesn\u2019t support 96 kHz; audio will be resampled to 48 kHz."));
}

TEST_F(ExportOptionsModelTest, ThePanelsTypeAndNameFollowTheFormat) {
  struct Case {
    const char* name;
    ExportFormat to;
    const char* renamed;
    QStringList extensions;
  };
  for (const Case& c : {Case{"Take 3.wav", ExportFormat::flac, "Take 3.flac", {QStringLiteral("flac")}},
                        Case{"My.Song", ExportFormat::flac, "My.flac", {QStringLiteral("flac")}},
                        Case{"", ExportFormat::aiff, "", {QStringLiteral("aiff"), QStringLiteral("aif")}},
                        Case{"Mix", ExportFormat::opus, "Mix.opus", {QStringLiteral("opus")}}}) {
    SavePanel panel;
    panel.setNameFieldText(QString::fromUtf8(c.name));
    ExportOptionsModel model(settings(ExportFormat::wav), 48000, 2, &panel);
    model.syncPanel();
    EXPECT_EQ(panel.allowedExtensions(), (QStringList{"wav", "wave", "bwf"}));
    model.setFormat(c.to);
    EXPECT_EQ(panel.nameFieldText(), QString::fromUtf8(c.renamed)) << c.name;
    EXPECT_EQ(panel.allowedExtensions(), c.extensions) << c.name;
  }

  // ALAC and AAC share the type and the extension; picking the current format leaves the name.
  auto* panel = new SavePanel;
  panel->setNameFieldText(QStringLiteral("Take.m4a"));
  ExportOptionsModel model(settings(ExportFormat::alac), 48000, 2, panel);
  model.syncPanel();
  model.setFormat(ExportFormat::aac);
  EXPECT_EQ(panel->nameFieldText(), QStringLiteral("Take.m4a"));
  EXPECT_EQ(panel->allowedExtensions(), QStringList{QStringLiteral("m4a")});
  panel->setNameFieldText(QStringLiteral("Take.custom"));
  model.setFormat(ExportFormat::aac);
  EXPECT_EQ(panel->nameFieldText(), QStringLiteral("Take.custom"));

  // Once the panel is gone the model goes on alone.
  delete panel;
  model.setFormat(ExportFormat::wav);
  EXPECT_EQ(model.format(), ExportFormat::wav);
}

TEST_F(ExportOptionsModelTest, OffersTheFormatsThisMachineEncodes) {
  std::vector<ExportFormat> expected;
  for (const ExportFormat format : quar::allCases<ExportFormat>())
    if (quar::AudioEncoder::isAvailable(format)) expected.push_back(format);
  EXPECT_EQ(ExportOptionsModel::availableFormats(), expected);
}

// A typed extension picks the offered format that has it, with that format's stored settings; the
// current format's own, an unknown one and one of a format that cannot be written pick nothing.
TEST_F(ExportOptionsModelTest, ATypedExtensionSelectsItsFormat) {
  EncodeSettings storedFLAC = settings(ExportFormat::flac);
  storedFLAC.bitDepth = quar::PCMBitDepth::int16;
  Preferences::store(storedFLAC);
  ExportOptionsModel::setAvailability([](ExportFormat format) { return format != ExportFormat::mp3; });
  struct Case {
    const char* extension;
    ExportFormat selected;  // the current WAV when nothing was picked
  };
  for (const Case& c : {Case{"flac", ExportFormat::flac}, Case{"aif", ExportFormat::aiff}, Case{"m4a", ExportFormat::alac},
                        Case{"wave", ExportFormat::wav}, Case{"mp3", ExportFormat::wav}, Case{"xyz", ExportFormat::wav}}) {
    ExportOptionsModel model(settings(ExportFormat::wav), 48000, 2, nullptr);
    EXPECT_EQ(model.selectFormatForExtension(QString::fromUtf8(c.extension)), c.selected != ExportFormat::wav) << c.extension;
    EXPECT_EQ(model.format(), c.selected) << c.extension;
  }
  ExportOptionsModel model(settings(ExportFormat::wav), 48000, 2, nullptr);
  model.selectFormatForExtension(QStringLiteral("flac"));
  EXPECT_EQ(model.settings(), storedFLAC);
  ExportOptionsModel::setAvailability({});
}

TEST_F(ExportOptionsModelTest, DitherOnlyFor16And24BitLosslessSamples) {
  struct Case {
    ExportFormat format;
    quar::PCMBitDepth depth;
    bool dither;
  };
  using enum quar::PCMBitDepth;
  for (const Case& c : {Case{ExportFormat::wav, int16, true}, Case{ExportFormat::flac, int24, true},
                        Case{ExportFormat::wav, int32, false}, Case{ExportFormat::caf, float32, false},
                        Case{ExportFormat::mp3, int24, false}, Case{ExportFormat::aac, int16, false}}) {
    EncodeSettings s = settings(c.format);
    s.bitDepth = c.depth;
    EXPECT_EQ(ExportOptionsModel::offersDither(s), c.dither) << quar::rawValue(c.format) << " " << quar::rawValue(c.depth);
  }
}
