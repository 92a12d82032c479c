#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QMainWindow>
#include <QPointer>
#include <QThreadPool>

#include <sndfile.h>

#include "AppTestSupport.h"
#include "views/ViewTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "platform/CommandRouter.h"
#include "platform/JobPool.h"
#include "recording/Recorder.h"
#include "sheets/ExportOptionsModel.h"
#include "sheets/ExportOptionsView.h"
#include "support/Preferences.h"

using namespace DocumentTestSupport;
using quar::EncodeSettings;
using quar::ExportFormat;
using quar::PCMBitDepth;

namespace {

// A µ-law WAV: readable, but not a format the editor writes.
QString writeMuLawWav(const QTemporaryDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_ULAW;
  SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
  std::vector<float> samples(800, 0.25f);
  sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
  return path;
}

} // namespace

class AudioDocumentTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override {
    std::vector<QPointer<QWidget>> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(widget) || qobject_cast<SavePanel*>(widget)) dialogs.emplace_back(widget);
    for (const QPointer<QWidget>& dialog : dialogs) delete dialog.data();
  }

  // The document made for the file, or null when it could not be opened.
  AudioDocument* open(const QString& path) {
    AudioDocument* opened = nullptr;
    controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* document, std::exception_ptr) {
      opened = qobject_cast<AudioDocument*>(document);
    });
    return opened;
  }
  AudioDocument* openLoaded(const QString& path) {
    AudioDocument* document = open(path);
    EXPECT_TRUE(document && waitUntilIdle(*document));
    return document;
  }
  bool waitUntilSaved(const AudioDocument& document) {
    return QTest::qWaitFor([&] { return !document.isSaving() && !document.model().jobs().busy(); }, 20000);
  }
  SavePanel* savePanel(const AudioDocument& document) {
    return waitForDialog<SavePanel>(document.windowForSheet(), QStringLiteral("savePanel"));
  }

  QTemporaryDir folder;
  AudioDocumentController controller;
};

TEST_F(AudioDocumentTest, OpensInTheBackgroundWithAnEmptyHistory) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 48000);
  AudioDocument* document = open(path);
  ASSERT_TRUE(document);
  ASSERT_TRUE(document->model().jobs().busy());
  EXPECT_EQ(document->model().jobs().busy()->title, QStringLiteral("Opening \u201Ctone.wav\u201D"));
  // Reading only probed the file.
  EXPECT_EQ(document->probedInfo(), infoOf(path));
  EXPECT_FALSE(document->model().fileInfo());
  auto* window = qobject_cast<QMainWindow*>(document->windowForSheet());
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("tone.wav[*]"));

  ASSERT_TRUE(waitUntilIdle(*document));
  EXPECT_EQ(document->model().content().frameCount(), 48000);
  EXPECT_EQ(document->model().content().channelCount(), 2);
  ASSERT_TRUE(document->model().fileInfo());
  EXPECT_EQ(document->model().fileInfo()->bitDepth, 24);
  EXPECT_FALSE(document->undoManager()->canUndo());
  EXPECT_FALSE(document->isEdited());
  EXPECT_FALSE(window->isWindowModified());

  editGain(*document);
  EXPECT_TRUE(window->isWindowModified());
  document->undoManager()->undo();
  EXPECT_FALSE(window->isWindowModified());
}

TEST_F(AudioDocumentTest, SaveKeepsTheFormatAndTheUneditedSamples) {
  const QString path = writeAudio(folder, QStringLiteral("take.wav"), 20000);
  // Stored WAV settings dither: unedited samples, exact at the file's depth, stay untouched.
  Preferences::store(EncodeSettings::defaults(ExportFormat::wav));
  const auto original = samplesOf(path);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  ASSERT_TRUE(document->saveSettings());
  EXPECT_EQ(document->saveSettings()->bitDepth, PCMBitDepth::int24);

  edit(*document, quar::applyingGain(document->model().content(), -6.0, quar::FrameRange(0, 1000)));
  document->saveDocument();
  ASSERT_TRUE(document->model().jobs().busy());
  EXPECT_EQ(document->model().jobs().busy()->title, QStringLiteral("Saving \u201Ctake.wav\u201D"));
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_EQ(document->windowForSheet()->findChildren<SavePanel*>().size(), 0);
  EXPECT_FALSE(document->isEdited());

  const quar::AudioFileInfo info = infoOf(path);
  EXPECT_EQ(info.nativeExportFormat, ExportFormat::wav);
  EXPECT_EQ(info.bitDepth, 24);
  EXPECT_EQ(info.sampleRate, 48000);
  const auto saved = samplesOf(path);
  ASSERT_EQ(saved.size(), original.size());
  for (size_t c = 0; c < saved.size(); ++c) {
    ASSERT_EQ(saved[c].size(), original[c].size());
    EXPECT_NE(saved[c][500], original[c][500]);
    EXPECT_TRUE(std::equal(saved[c].begin() + 1000, saved[c].end(), original[c].begin() + 1000)) << "channel " << c;
  }
}

// Through the real file browser: the options below it set what is written and what is remembered.
TEST_F(AudioDocumentTest, SaveAsWritesWhatTheExportOptionsShow) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 9600, 96000);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  document->saveDocumentAs();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  auto* browser = panel->findChild<QFileDialog*>();
  ASSERT_TRUE(browser && browser->testOption(QFileDialog::DontUseNativeDialog));
  auto* name = browser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_TRUE(name && name->isVisible());
  auto* options = panel->findChild<ExportOptionsView*>();
  ASSERT_TRUE(options && options->isVisible());
  EXPECT_EQ(panel->accessoryView(), options);
  EXPECT_GE(options->mapTo(panel, QPoint()).y(), browser->mapTo(panel, QPoint(0, browser->height())).y());
  EXPECT_EQ(name->text(), QStringLiteral("tone.wav"));

  const auto choose = [&](const char* menuName, const QString& item) {
    auto* menu = options->findChild<QComboBox*>(QString::fromUtf8(menuName));
    const int index = menu->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    menu->setCurrentIndex(index);
    Q_EMIT menu->activated(index);
  };
  if (quar::AudioEncoder::isAvailable(ExportFormat::mp3)) {
    choose("formatMenu", QStringLiteral("MP3"));
    EXPECT_EQ(name->text(), QStringLiteral("tone.mp3"));
    ViewTestSupport::savePicture(panel->grab().toImage(), QStringLiteral("save-panel-mp3"));
  }
  choose("formatMenu", QStringLiteral("FLAC"));
  EXPECT_EQ(name->text(), QStringLiteral("tone.flac"));
  EXPECT_EQ(browser->selectedNameFilter(), QStringLiteral("FLAC (*.flac)"));
  choose("bitDepthMenu", QStringLiteral("16-bit"));
  choose("sampleRateMenu", QStringLiteral("44.1 kHz"));
  ViewTestSupport::savePicture(panel->grab().toImage(), QStringLiteral("save-panel-export-options"));

  name->setFocus();
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("mastered"));
  QTest::keyClick(name, Qt::Key_Return);
  ASSERT_TRUE(waitUntilSaved(*document));

  const QString saved = folder.filePath(QStringLiteral("mastered.flac"));
  const quar::AudioFileInfo info = infoOf(saved);
  EXPECT_EQ(info.nativeExportFormat, ExportFormat::flac);
  EXPECT_EQ(info.sampleRate, 44100);
  EXPECT_EQ(info.bitDepth, 16);
  EXPECT_EQ(info.frameCount, 4410);
  EXPECT_EQ(document->fileUrl(), QUrl::fromLocalFile(saved));
  EXPECT_EQ(document->fileType(), QStringLiteral("org.xiph.flac"));

  EncodeSettings chosen = EncodeSettings::defaults(ExportFormat::flac);
  chosen.bitDepth = PCMBitDepth::int16;
  chosen.sampleRate = 44100;
  EXPECT_EQ(document->saveSettings(), chosen);
  EXPECT_TRUE(QSettings().contains(QStringLiteral("encode.flac")));
  EXPECT_EQ(Preferences::encodeSettings(ExportFormat::flac), chosen);
  EXPECT_EQ(QSettings().value(QStringLiteral("lastExportFormat")).toString(), QStringLiteral("flac"));
}

TEST_F(AudioDocumentTest, ExportLeavesTheDocumentAndItsSaveSettingsAlone) {
  const QString path = writeAudio(folder, QStringLiteral("live.wav"), 9600, 96000);
  // The export panel starts from stored settings that resample to 44.1 kHz.
  EncodeSettings exportSettings = pcm(ExportFormat::wav, PCMBitDepth::int16);
  exportSettings.sampleRate = 44100;
  Preferences::store(exportSettings);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  const auto saveSettings = document->saveSettings();

  struct Case {
    std::optional<quar::FrameRange> selection;
    QString title;
    QString name;
    int64_t frames;  // at 44.1 kHz
  };
  for (const Case& c : {Case{std::nullopt, QStringLiteral("Export Audio"), QStringLiteral("live.wav"), 4410},
                        Case{quar::FrameRange(960, 1920), QStringLiteral("Export Selection"),
                             QStringLiteral("live (selection).wav"), 441}}) {
    document->model().setSelection(c.selection);
    document->exportSelection();
    SavePanel* panel = savePanel(*document);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowTitle(), c.title);
    EXPECT_EQ(panel->nameFieldText(), c.name);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    const QString target = folder.filePath(QStringLiteral("out-") + QString::number(c.frames) + QStringLiteral(".wav"));
    confirmPanel(panel, target);
    ASSERT_TRUE(document->model().jobs().busy());
    EXPECT_EQ(document->model().jobs().busy()->title, QStringLiteral("Exporting \u201C") + QFileInfo(target).fileName() + QStringLiteral("\u201D"));
    ASSERT_TRUE(waitUntilIdle(*document));
    const quar::AudioFileInfo info = infoOf(target);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.bitDepth, 24);  // the source's, not the stored one
    EXPECT_EQ(info.frameCount, c.frames);
  }
  EXPECT_EQ(document->fileUrl(), QUrl::fromLocalFile(path));
  EXPECT_EQ(document->fileType(), QStringLiteral("com.microsoft.waveform-audio"));
  EXPECT_EQ(document->saveSettings(), saveSettings);

  // A later plain Save keeps the file's own rate and depth.
  editGain(*document);
  document->saveDocument();
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_EQ(infoOf(path).sampleRate, 96000);
  EXPECT_EQ(infoOf(path).bitDepth, 24);
}

// The export options sit 480 wide at the height they ask for. A panel confirmed without a
// file does nothing: no export, no alert, nothing stored.
TEST_F(AudioDocumentTest, AnExportPanelConfirmedWithoutAFileDoesNothing) {
  Preferences::store(pcm(ExportFormat::wav, PCMBitDepth::int16));
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("tone.wav"), 4800));
  ASSERT_TRUE(document);
  document->exportSelection();
  const QPointer<SavePanel> panel = savePanel(*document);
  ASSERT_TRUE(panel);
  QWidget* options = panel->accessoryView();
  ASSERT_TRUE(options);
  EXPECT_EQ(options->width(), 480);
  EXPECT_EQ(options->height(), options->sizeHint().height());
  auto* format = options->findChild<QComboBox*>(QStringLiteral("formatMenu"));
  const int flac = format->findText(QStringLiteral("FLAC"));
  format->setCurrentIndex(flac);
  Q_EMIT format->activated(flac);

  ASSERT_TRUE(panel->url().isEmpty());
  panel->accept();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !panel; }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(document->model().jobs().busy());
  EXPECT_TRUE(document->windowForSheet()->findChildren<QMessageBox*>().isEmpty());
  EXPECT_EQ(Preferences::lastExportFormat(), ExportFormat::wav);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("tone.wav")});
}

TEST_F(AudioDocumentTest, SaveSettingsFollowTheFile) {
  Preferences::store(pcm(ExportFormat::wav, PCMBitDepth::int16));
  EncodeSettings stored = EncodeSettings::defaults(ExportFormat::flac);
  stored.sampleRate = 44100;
  Preferences::store(stored);
  struct Case {
    std::optional<ExportFormat> format;
    std::optional<int> bitDepth;
    bool isFloat;
    std::optional<PCMBitDepth> expected;  // none: no save settings
  };
  for (const Case& c : {Case{ExportFormat::wav, 16, false, PCMBitDepth::int16},
                        Case{ExportFormat::wav, 24, false, PCMBitDepth::int24},
                        Case{ExportFormat::wav, 32, false, PCMBitDepth::int32},
                        Case{ExportFormat::wav, 0, false, PCMBitDepth::float32},
                        Case{ExportFormat::wav, 32, true, PCMBitDepth::float32},
                        Case{ExportFormat::wav, 12, false, PCMBitDepth::int16},  // the stored depth
                        Case{ExportFormat::flac, 16, false, PCMBitDepth::int16},
                        Case{std::nullopt, 16, false, std::nullopt}}) {
    quar::AudioFileInfo info;
    info.nativeExportFormat = c.format;
    info.bitDepth = c.bitDepth;
    info.isFloat = c.isFloat;
    info.sampleRate = 96000;
    const auto settings = AudioDocument::settingsMatching(info);
    ASSERT_EQ(settings.has_value(), c.expected.has_value());
    if (!settings) continue;
    EXPECT_EQ(settings->format, *c.format);
    EXPECT_EQ(settings->bitDepth, *c.expected);
    EXPECT_EQ(settings->sampleRate, std::nullopt);  // never resampled by a plain Save
  }
  quar::AudioFileInfo mp3;
  mp3.nativeExportFormat = ExportFormat::mp3;
  mp3.bitRateKbps = 192;
  const auto settings = AudioDocument::settingsMatching(mp3);
  ASSERT_EQ(settings.has_value(), quar::AudioEncoder::isAvailable(ExportFormat::mp3));
  if (settings) {
    EXPECT_EQ(settings->bitRateKbps, 192);
  }
}

TEST_F(AudioDocumentTest, SaveOfAFileWithoutAWritableFormatOpensSaveAs) {
  AudioDocument* document = openLoaded(writeMuLawWav(folder, QStringLiteral("phone.wav")));
  ASSERT_TRUE(document);
  EXPECT_FALSE(document->saveSettings());
  editGain(*document);
  bool saved = true;
  document->saveDocument([&](bool result) { saved = result; });
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->windowTitle(), QStringLiteral("Save As"));
  static_cast<QDialog*>(panel->fileDialog())->reject();
  EXPECT_FALSE(saved);
  EXPECT_TRUE(document->isEdited());
}

TEST_F(AudioDocumentTest, UntitledFirstSaveUsesThePanelsChoice) {
  Preferences::store(pcm(ExportFormat::aiff, PCMBitDepth::int16));
  Preferences::store(EncodeSettings::defaults(ExportFormat::wav));
  controller.newDocument();
  ASSERT_EQ(controller.documents().size(), 1u);
  auto* document = qobject_cast<AudioDocument*>(controller.documents().front());
  ASSERT_TRUE(document);
  EXPECT_EQ(document->displayName(), QStringLiteral("Untitled"));
  EXPECT_EQ(document->model().content().channelCount(), 2);
  EXPECT_EQ(document->model().content().frameCount(), 0);
  edit(*document, signal(4800, 2, 48000));

  document->saveDocument();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->windowTitle(), QStringLiteral("Save"));
  EXPECT_EQ(panel->nameFieldText(), QStringLiteral("Untitled.wav"));
  auto* options = panel->findChild<ExportOptionsModel*>();
  ASSERT_TRUE(options);
  options->setFormat(ExportFormat::aiff);
  EXPECT_EQ(panel->nameFieldText(), QStringLiteral("Untitled.aiff"));
  confirmPanel(panel, folder.filePath(QStringLiteral("first")));
  ASSERT_TRUE(waitUntilSaved(*document));

  const QString path = folder.filePath(QStringLiteral("first.aiff"));
  EXPECT_EQ(infoOf(path).nativeExportFormat, ExportFormat::aiff);
  EXPECT_EQ(infoOf(path).bitDepth, 16);
  EXPECT_EQ(document->fileUrl(), QUrl::fromLocalFile(path));
  EXPECT_EQ(document->fileType(), QStringLiteral("public.aiff-audio"));
  EXPECT_EQ(document->displayName(), QStringLiteral("first.aiff"));
  EXPECT_EQ(document->windowForSheet()->windowTitle(), QStringLiteral("first.aiff[*]"));
  EXPECT_EQ(document->saveSettings(), pcm(ExportFormat::aiff, PCMBitDepth::int16).normalized());
  EXPECT_FALSE(document->isEdited());
  ASSERT_FALSE(controller.recentDocumentUrls().isEmpty());
  EXPECT_EQ(controller.recentDocumentUrls().front(), QUrl::fromLocalFile(path));

  // Later saves need no panel and keep the chosen format.
  editGain(*document);
  document->saveDocument();
  EXPECT_EQ(document->windowForSheet()->findChildren<SavePanel*>().size(), 0);
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_EQ(infoOf(path).bitDepth, 16);
  EXPECT_FALSE(document->isEdited());
}

TEST_F(AudioDocumentTest, SavesRunOneAtATimeEachWithItsOwnCapture) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  std::vector<std::pair<QString, std::exception_ptr>> ended;
  const auto saveCopy = [&](const QString& name) {
    document->saveToUrl(QUrl::fromLocalFile(folder.filePath(name)), document->fileType(), Document::SaveOperation::saveTo,
                        [&ended, name](std::exception_ptr error) { ended.emplace_back(name, error); });
  };
  editGain(*document);
  const quar::AudioContent first = document->model().content();
  saveCopy(QStringLiteral("a.wav"));
  editGain(*document);
  const quar::AudioContent second = document->model().content();
  saveCopy(QStringLiteral("b.wav"));

  ASSERT_TRUE(QTest::qWaitFor([&] { return ended.size() == 2; }, 20000));
  EXPECT_EQ(ended[0].first, QStringLiteral("a.wav"));
  EXPECT_EQ(ended[1].first, QStringLiteral("b.wav"));
  EXPECT_FALSE(ended[0].second);
  EXPECT_FALSE(ended[1].second);
  EXPECT_FALSE(document->model().jobs().busy());
  EXPECT_NEAR(samplesOf(folder.filePath(QStringLiteral("a.wav")))[0][100], first.sample(0, 100), 1e-6);
  EXPECT_NEAR(samplesOf(folder.filePath(QStringLiteral("b.wav")))[0][100], second.sample(0, 100), 1e-6);
  // Copies leave the document's file and edited state alone.
  EXPECT_EQ(document->fileUrl(), QUrl::fromLocalFile(path));
  EXPECT_TRUE(document->isEdited());
}

TEST_F(AudioDocumentTest, SaveMarksCleanOnlyTheStateItCaptured) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  editGain(*document);
  document->saveDocument();
  editGain(*document);  // made while the save encodes
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_TRUE(document->isEdited());
  EXPECT_TRUE(document->windowForSheet()->isWindowModified());
  document->undoManager()->undo();
  EXPECT_FALSE(document->isEdited());

  document->undoManager()->redo();
  document->saveDocument();
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_FALSE(document->isEdited());
  EXPECT_NEAR(samplesOf(path)[1][200], document->model().content().sample(1, 200), 1e-6);
}

TEST_F(AudioDocumentTest, SaveSaveAsRevertAndExportBeepWhileAJobRuns) {
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("tone.wav"), 4800));
  ASSERT_TRUE(document);
  editGain(*document);
  document->model().jobs().beginExternalBusy(QStringLiteral("Reverse"), std::make_shared<ProgressToken>());
  bool saved = true;
  document->saveDocument([&](bool result) { saved = result; });
  EXPECT_FALSE(saved);
  EXPECT_FALSE(document->isSaving());
  document->saveDocumentAs();
  document->revertDocumentToSaved();
  document->exportSelection();
  EXPECT_EQ(AppTestSupport::beepCount(), 4);
  EXPECT_TRUE(document->windowForSheet()->findChildren<SavePanel*>().isEmpty());
  EXPECT_TRUE(document->windowForSheet()->findChildren<QMessageBox*>().isEmpty());
  EXPECT_EQ(document->model().jobs().busy()->title, QStringLiteral("Reverse"));
}

// Save, Save As… and Revert to Saved (which needs changes to a file) are off while a job runs
// or a take is being recorded.
TEST_F(AudioDocumentTest, SaveAndRevertItemsAreOffWhileAJobRunsOrATakeIsRecorded) {
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("tone.wav"), 4800));
  ASSERT_TRUE(document);
  auto* router = document->windowForSheet()->findChild<CommandRouter*>();
  ASSERT_TRUE(router);
  const auto enabled = [router] {
    QString states;
    for (const char* command : {"saveDocument", "saveDocumentAs", "revertDocumentToSaved"}) {
      states += router->validate(*router->item(QString::fromLatin1(command))) ? QLatin1Char('1') : QLatin1Char('0');
    }
    return states;
  };
  EXPECT_EQ(enabled(), QStringLiteral("110"));
  editGain(*document);
  EXPECT_EQ(enabled(), QStringLiteral("111"));
  const quar::Uuid job =
      document->model().jobs().beginExternalBusy(QStringLiteral("Reverse"), std::make_shared<ProgressToken>());
  EXPECT_EQ(enabled(), QStringLiteral("000"));
  document->model().jobs().endExternalBusy(job);
  Recorder& recorder = document->model().recorder();
  recorder.toggle();
  recorder.toggle();
  ASSERT_TRUE(recorder.isRecording());
  EXPECT_EQ(enabled(), QStringLiteral("000"));
  bool saved = true;
  document->saveDocument([&](bool result) { saved = result; });
  EXPECT_FALSE(saved);
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  recorder.disarm();
  ASSERT_TRUE(waitUntilIdle(*document));
  EXPECT_EQ(enabled(), QStringLiteral("111"));
}

TEST_F(AudioDocumentTest, CancellingAnOpenClosesTheDocumentSilently) {
  AudioDocument* document = open(writeAudio(folder, QStringLiteral("long.wav"), 480000));
  ASSERT_TRUE(document && document->model().jobs().busy());
  const QPointer<AudioDocument> guard(document);
  document->model().jobs().busy()->token->cancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !guard; }, 20000));
  EXPECT_TRUE(controller.documents().empty());
  EXPECT_TRUE(visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert")).empty());
}

TEST_F(AudioDocumentTest, ClosingStopsTheRunningJobAndLetsGoOfItsAudio) {
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("long.wav"), 40 * 48000));
  ASSERT_TRUE(document);
  const std::weak_ptr<const quar::AudioBlock> block = document->model().content().segments().front().block;
  document->model().timePitch(1.25, 0);
  ASSERT_TRUE(document->model().jobs().busy());
  const std::shared_ptr<ProgressToken> token = document->model().jobs().busy()->token;
  ASSERT_TRUE(QTest::qWaitFor([&] { return token->fraction() > 0; }, 20000));  // rendering

  document->close();
  EXPECT_TRUE(token->isCancelled());
  JobPool::userInitiated().waitForDone();
  JobPool::utility().waitForDone();
  EXPECT_LT(token->fraction(), 0.5);  // it stopped at its next progress report, not at the end
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(controller.documents().empty());
  EXPECT_TRUE(block.expired());  // the document's audio and the job's copy are gone
}

TEST_F(AudioDocumentTest, UnreadableFilesAreReportedWithoutAWindow) {
  QFile garbage(folder.filePath(QStringLiteral("noise.wav")));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write(QByteArray(4096, '\x5a'));
  garbage.close();
  for (const QString& path : {garbage.fileName(), folder.filePath(QStringLiteral("missing.wav"))}) {
    EXPECT_FALSE(open(path));
    EXPECT_TRUE(controller.documents().empty());
    const auto alerts = visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert"));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front()->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(alerts.front()->text(), QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened.").arg(QFileInfo(path).fileName()));
    EXPECT_FALSE(alerts.front()->informativeText().isEmpty());
    delete alerts.front();
  }
}

TEST_F(AudioDocumentTest, ATruncatedFileOpensWhatItHolds) {
  const QString path = writeAudio(folder, QStringLiteral("cut.wav"), 48000);
  QFile file(path);
  ASSERT_TRUE(file.resize(file.size() / 2));
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  EXPECT_GT(document->model().content().frameCount(), 20000);
  EXPECT_LT(document->model().content().frameCount(), 48000);
}

TEST_F(AudioDocumentTest, RevertReadsTheFileAgain) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  const float before = document->model().content().sample(0, 300);
  editGain(*document);
  document->revertDocumentToSaved();
  QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("revertAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  clickButton(alert, QStringLiteral("Revert"));
  ASSERT_TRUE(document->model().jobs().busy());
  EXPECT_EQ(document->model().jobs().busy()->title, QStringLiteral("Opening \u201Ctone.wav\u201D"));
  ASSERT_TRUE(waitUntilIdle(*document));
  EXPECT_EQ(document->model().content().sample(0, 300), before);
  EXPECT_FALSE(document->isEdited());
  EXPECT_FALSE(document->undoManager()->canUndo());
}

TEST_F(AudioDocumentTest, ClosingAnEditedDocumentAsksFirst) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  const float original = samplesOf(path)[0][100];
  struct Case {
    QString answer;
    bool closes;
    bool fileChanged;
  };
  for (const Case& c : {Case{QStringLiteral("Cancel"), false, false}, Case{QStringLiteral("Don\u2019t Save"), true, false},
                        Case{QStringLiteral("Save"), true, true}}) {
    AudioDocument* document = controller.documents().empty() ? openLoaded(path)
                                                             : qobject_cast<AudioDocument*>(controller.documents().front());
    ASSERT_TRUE(document);
    if (!document->isEdited()) editGain(*document);
    const QPointer<AudioDocument> guard(document);
    document->windowForSheet()->close();
    QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("closeAlert"));
    ASSERT_TRUE(alert) << c.answer.toStdString();
    EXPECT_EQ(alert->text(), QStringLiteral("Do you want to save the changes made to the document \u201Ctone.wav\u201D?"));
    clickButton(alert, c.answer);
    if (c.closes) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !guard; }, 20000)) << c.answer.toStdString();
    } else {
      EXPECT_TRUE(guard && guard->windowForSheet()->isVisible());
    }
    EXPECT_EQ(samplesOf(path)[0][100] != original, c.fileChanged) << c.answer.toStdString();
  }
}

TEST_F(AudioDocumentTest, AFailedSaveIsShownOnTheWindow) {
  QTemporaryDir gone;
  const QString path = writeAudio(gone, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  editGain(*document);
  ASSERT_TRUE(gone.remove());
  bool saved = true;
  document->saveDocument([&](bool result) { saved = result; });
  QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  EXPECT_EQ(alert->text(), QStringLiteral("The file \u201Ctone.wav\u201D could not be saved in the folder \u201C%1\u201D.").arg(gone.path()));
  EXPECT_FALSE(saved);
  EXPECT_FALSE(document->model().jobs().busy());
  EXPECT_TRUE(document->isEdited());
}

// A save that the system refuses says why, naming the folder; the library's text is only the
// alert's detail. Root obeys each of these: a folder that is gone, a path through a file, a
// name beyond 255 bytes and a folder of the kernel's where nothing may be created.
TEST_F(AudioDocumentTest, AFailedSaveTellsWhyAndWhere) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  QFile notes(folder.filePath(QStringLiteral("notes.txt")));
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.close();
  const QString gone = folder.filePath(QStringLiteral("gone"));
  const QString longName = QString(300, QLatin1Char('n')) + QStringLiteral(".wav");
  struct Case {
    QString destination;
    QString reason;
    QString detail;
  };
  const Case cases[] = {
      {gone + QStringLiteral("/tone.wav"),
       QStringLiteral("The folder \u201C%1\u201D doesn\u2019t exist.").arg(gone), QStringLiteral("(status -43)")},
      {notes.fileName() + QStringLiteral("/tone.wav"),
       QStringLiteral("The folder \u201C%1\u201D doesn\u2019t exist: part of its path is a file.").arg(notes.fileName()),
       QStringLiteral("(status -43)")},
      {folder.filePath(longName),
       QStringLiteral("The file name is too long: it has 304 bytes, and names in the folder \u201C%1\u201D can have at most 255.")
           .arg(folder.path()),
       QStringLiteral("couldn\u2019t move the finished file into place")},
      {QStringLiteral("/sys/tone.wav"),
       QStringLiteral("You don\u2019t have permission to write in the folder \u201C/sys\u201D."), QStringLiteral("(status -54)")},
  };
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  editGain(*document);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination.left(60).toStdString());
    document->setFileUrl(QUrl::fromLocalFile(c.destination));
    bool saved = true;
    document->saveDocument([&](bool result) { saved = result; });
    QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
    ASSERT_TRUE(alert);
    const QFileInfo written(c.destination);
    EXPECT_EQ(alert->text(), QStringLiteral("The file \u201C%1\u201D could not be saved in the folder \u201C%2\u201D.")
                                 .arg(written.fileName(), written.absolutePath()));
    EXPECT_EQ(alert->informativeText(), c.reason);
    EXPECT_TRUE(alert->detailedText().startsWith(QStringLiteral("Couldn\u2019t write the audio: "))) << alert->detailedText().toStdString();
    EXPECT_TRUE(alert->detailedText().contains(c.detail)) << alert->detailedText().toStdString();
    EXPECT_FALSE(saved);
    EXPECT_TRUE(document->isEdited());
    delete alert;
  }
  EXPECT_FALSE(QFileInfo::exists(gone));

  // An export says the same under its own heading.
  document->exportSelection();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  confirmPanel(panel, QStringLiteral("/sys/part.wav"));
  QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), QStringLiteral("The audio could not be exported to \u201Cpart.wav\u201D in the folder \u201C/sys\u201D."));
  EXPECT_EQ(alert->informativeText(), cases[3].reason);
}
