#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "sheets/ExportOptionsModel.h"
#include "sheets/ExportOptionsView.h"
#include "support/Preferences.h"

using namespace DocumentTestSupport;
using quar::EncodeSettings;
using quar::ExportFormat;
using quar::PCMBitDepth;

// What keeps a document's file safe: from the other open windows, from other programs that
// change it meanwhile, and a save that fails says which file and where.
class AudioDocumentFileSafetyTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override {
    ExportOptionsModel::setAvailability({});
    std::vector<QPointer<QWidget>> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(widget) || qobject_cast<SavePanel*>(widget)) dialogs.emplace_back(widget);
    for (const QPointer<QWidget>& dialog : dialogs) delete dialog.data();
  }

  AudioDocument* openLoaded(const QString& path) {
    AudioDocument* opened = nullptr;
    controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* document, std::exception_ptr) {
      opened = qobject_cast<AudioDocument*>(document);
    });
    EXPECT_TRUE(opened && waitUntilIdle(*opened));
    return opened;
  }
  bool waitUntilSaved(const AudioDocument& document) {
    return QTest::qWaitFor([&] { return !document.isSaving() && !document.model().jobs().busy(); }, 20000);
  }
  SavePanel* savePanel(const AudioDocument& document) {
    return waitForDialog<SavePanel>(document.windowForSheet(), QStringLiteral("savePanel"));
  }
  QMessageBox* changedAlert(const AudioDocument& document) {
    return waitForDialog<QMessageBox>(document.windowForSheet(), QStringLiteral("fileChangedAlert"));
  }
  static int64_t framesOf(const QString& path) { return infoOf(path).frameCount; }

  QTemporaryDir folder;
  AudioDocumentController controller;
};

// b.wav saved as a.wav, which another window shows, would leave two windows on one file: the
// panel refuses, for Save As and Export alike, and the panel stays for another name.
TEST_F(AudioDocumentFileSafetyTest, SaveAsOrExportOntoAnotherWindowsFileIsRefused) {
  const QString a = writeAudio(folder, QStringLiteral("a.wav"), 4800);
  const QString b = writeAudio(folder, QStringLiteral("b.wav"), 2400);
  AudioDocument* first = openLoaded(a);
  AudioDocument* second = openLoaded(b);
  ASSERT_TRUE(first && second);
  editGain(*second);
  const auto original = samplesOf(a);
  const QString refusal = QStringLiteral("\u201Ca.wav\u201D is open in another window. Close it first, or choose another name.");

  for (const bool exporting : {false, true}) {
    SCOPED_TRACE(exporting ? "export" : "save as");
    if (exporting)
      second->exportSelection();
    else
      second->saveDocumentAs();
    SavePanel* panel = savePanel(*second);
    ASSERT_TRUE(panel);
    confirmPanel(panel, a);
    QMessageBox* alert = waitForDialog<QMessageBox>(panel, QStringLiteral("refusedAlert"));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), refusal);
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(panel->findChildren<QMessageBox*>(QStringLiteral("replaceAlert")).isEmpty());
    alert->accept();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->fileDialog()->isVisible());
    EXPECT_FALSE(second->model().jobs().busy());
    // Another name is taken.
    confirmPanel(panel, folder.filePath(exporting ? QStringLiteral("part.wav") : QStringLiteral("c.wav")));
    ASSERT_TRUE(waitUntilSaved(*second));
  }
  EXPECT_EQ(samplesOf(a), original);
  EXPECT_EQ(first->fileUrl(), QUrl::fromLocalFile(a));
  EXPECT_EQ(second->fileUrl(), QUrl::fromLocalFile(folder.filePath(QStringLiteral("c.wav"))));
  EXPECT_EQ(framesOf(folder.filePath(QStringLiteral("part.wav"))), 2400);

  // A document's own file is only the usual question about replacing it.
  first->saveDocumentAs();
  SavePanel* panel = savePanel(*first);
  ASSERT_TRUE(panel);
  confirmPanel(panel, a);
  EXPECT_TRUE(waitForDialog<QMessageBox>(panel, QStringLiteral("replaceAlert")));
  EXPECT_TRUE(panel->findChildren<QMessageBox*>(QStringLiteral("refusedAlert")).isEmpty());
}

// Another program replaced the file (new inode and size) or rewrote it in place (only its
// time, or at the same size with its modification time set back): Save asks first. Cancel
// writes nothing and keeps the edits, Save Anyway writes, Revert shows the file as it is now.
TEST_F(AudioDocumentFileSafetyTest, ASaveAfterTheFileChangedOnDiskAsksFirst) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  editGain(*document);
  const auto replaceOnDisk = [&] { writeAudio(folder, QStringLiteral("tone.wav"), 2400); };
  const auto touchOnDisk = [&] {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
  };

  replaceOnDisk();
  const auto onDisk = samplesOf(path);
  bool saved = true;
  document->saveDocument([&](bool result) { saved = result; });
  QMessageBox* alert = changedAlert(*document);
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), QStringLiteral("The file \u201Ctone.wav\u201D was changed by another program since it was opened."));
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  EXPECT_FALSE(document->isSaving());
  clickButton(alert, QStringLiteral("Cancel"));
  EXPECT_FALSE(saved);
  EXPECT_FALSE(document->isSaving());
  EXPECT_EQ(samplesOf(path), onDisk);
  EXPECT_TRUE(document->isEdited());
  EXPECT_EQ(document->model().content().frameCount(), 4800);

  document->saveDocument([&](bool result) { saved = result; });
  alert = changedAlert(*document);
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Save Anyway"));
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_TRUE(saved);
  EXPECT_EQ(framesOf(path), 4800);
  EXPECT_FALSE(document->isEdited());

  // What the document wrote itself is no change.
  editGain(*document);
  document->saveDocument([&](bool result) { saved = result; });
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_TRUE(saved);
  EXPECT_TRUE(document->windowForSheet()->findChildren<QMessageBox*>(QStringLiteral("fileChangedAlert")).isEmpty());

  editGain(*document);
  touchOnDisk();
  const auto touched = samplesOf(path);
  document->saveDocument([&](bool result) { saved = result; });
  alert = changedAlert(*document);
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Revert"));
  EXPECT_FALSE(saved);
  ASSERT_TRUE(waitUntilIdle(*document));
  EXPECT_FALSE(document->isEdited());
  EXPECT_NEAR(document->model().content().sample(0, 100), touched[0][100], 1e-6);

  // Reverted, the file as read now is the one a later Save compares with.
  editGain(*document);
  document->saveDocument();
  ASSERT_TRUE(waitUntilSaved(*document));
  EXPECT_TRUE(document->windowForSheet()->findChildren<QMessageBox*>(QStringLiteral("fileChangedAlert")).isEmpty());

  // Samples rewritten in place, the size and modification time as they were (as a copy that
  // keeps times leaves them): the change time tells.
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(file.size() - 300));
    ASSERT_EQ(file.write(QByteArray(300, '\x7f')), 300);
  }
  const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
  ASSERT_EQ(after.st_size, before.st_size);
  ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  editGain(*document);
  document->saveDocument();
  alert = changedAlert(*document);
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Cancel"));
  EXPECT_TRUE(document->isEdited());
}

// Revert to Saved runs the same check before it replaces the document.
TEST_F(AudioDocumentFileSafetyTest, RevertToSavedAsksWhenTheFileChangedOnDisk) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  AudioDocument* document = openLoaded(path);
  ASSERT_TRUE(document);
  editGain(*document);
  const float edited = document->model().content().sample(0, 100);
  writeAudio(folder, QStringLiteral("tone.wav"), 2400);

  for (const QString& answer : {QStringLiteral("Cancel"), QStringLiteral("Revert")}) {
    SCOPED_TRACE(answer.toStdString());
    document->revertDocumentToSaved();
    QMessageBox* question = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("revertAlert"));
    ASSERT_TRUE(question);
    clickButton(question, QStringLiteral("Revert"));
    QMessageBox* alert = changedAlert(*document);
    ASSERT_TRUE(alert);
    clickButton(alert, answer);
    ASSERT_TRUE(waitUntilIdle(*document));
  }
  EXPECT_NE(document->model().content().sample(0, 100), edited);
  EXPECT_EQ(document->model().content().frameCount(), 2400);
  EXPECT_FALSE(document->isEdited());
}

// With WAV chosen, a typed extension of another format writes that format; one that no offered
// format has is kept and the chosen format's extension follows it.
TEST_F(AudioDocumentFileSafetyTest, ATypedExtensionOfAnotherFormatChoosesIt) {
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("tone.wav"), 4800));
  ASSERT_TRUE(document);
  struct Case {
    QString typed;
    QString written;
    ExportFormat format;
  };
  for (const Case& c : {Case{QStringLiteral("e1.flac"), QStringLiteral("e1.flac"), ExportFormat::flac},
                        Case{QStringLiteral("e2.AIF"), QStringLiteral("e2.AIF"), ExportFormat::aiff},
                        Case{QStringLiteral("e3.caf"), QStringLiteral("e3.caf"), ExportFormat::caf},
                        Case{QStringLiteral("e4.xyz"), QStringLiteral("e4.xyz.wav"), ExportFormat::wav}}) {
    SCOPED_TRACE(c.typed.toStdString());
    Preferences::store(pcm(ExportFormat::wav, PCMBitDepth::int16));
    document->exportSelection();
    SavePanel* panel = savePanel(*document);
    ASSERT_TRUE(panel);
    confirmPanel(panel, folder.filePath(c.typed));
    ASSERT_TRUE(waitUntilIdle(*document));
    const QString written = folder.filePath(c.written);
    ASSERT_TRUE(QFileInfo::exists(written));
    EXPECT_EQ(infoOf(written).nativeExportFormat, c.format);
  }

  // Save As: the document takes the typed format as its own.
  editGain(*document);
  document->saveDocumentAs();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  ASSERT_EQ(panel->findChild<ExportOptionsModel*>()->format(), ExportFormat::wav);
  confirmPanel(panel, folder.filePath(QStringLiteral("g3.flac")));
  ASSERT_TRUE(waitUntilSaved(*document));
  const QString saved = folder.filePath(QStringLiteral("g3.flac"));
  EXPECT_EQ(infoOf(saved).nativeExportFormat, ExportFormat::flac);
  EXPECT_FALSE(QFileInfo::exists(saved + QStringLiteral(".wav")));
  EXPECT_EQ(document->fileUrl(), QUrl::fromLocalFile(saved));
  EXPECT_EQ(document->fileType(), QStringLiteral("org.xiph.flac"));
  ASSERT_TRUE(document->saveSettings());
  EXPECT_EQ(document->saveSettings()->format, ExportFormat::flac);
}

// A failed save names the file it was writing and its folder, not the document it came from.
TEST_F(AudioDocumentFileSafetyTest, AFailedSaveNamesTheFileBeingWritten) {
  controller.newDocument();
  auto* document = qobject_cast<AudioDocument*>(controller.documents().front());
  ASSERT_TRUE(document);
  // Nothing to write: the encoder fails without a system error.
  document->saveDocument();
  SavePanel* panel = savePanel(*document);
  ASSERT_TRUE(panel);
  confirmPanel(panel, folder.filePath(QStringLiteral("g3.wav")));
  QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), QStringLiteral("The file \u201Cg3.wav\u201D could not be saved in the folder \u201C%1\u201D.").arg(folder.path()));
  EXPECT_EQ(alert->informativeText(), QStringLiteral("Couldn\u2019t write the audio: there\u2019s no audio to export (the range is empty)"));
  EXPECT_EQ(document->displayName(), QStringLiteral("Untitled"));
}

// Without the MP3 encoder's library the panels offer no MP3, even when it was the last format
// used, and an MP3 file has no save settings (Save asks with the panel).
TEST_F(AudioDocumentFileSafetyTest, FormatsThatCannotBeWrittenAreNotOffered) {
  AudioDocument* document = openLoaded(writeAudio(folder, QStringLiteral("tone.wav"), 4800));
  ASSERT_TRUE(document);
  Preferences::store(EncodeSettings::defaults(ExportFormat::mp3));
  quar::AudioFileInfo mp3;
  mp3.nativeExportFormat = ExportFormat::mp3;
  mp3.bitRateKbps = 192;
  for (const bool lame : {true, false}) {
    SCOPED_TRACE(lame ? "with LAME" : "without LAME");
    ExportOptionsModel::setAvailability([lame](ExportFormat format) { return lame || format != ExportFormat::mp3; });
    EXPECT_EQ(AudioDocument::settingsMatching(mp3).has_value(), lame);
    document->exportSelection();
    SavePanel* panel = savePanel(*document);
    ASSERT_TRUE(panel);
    auto* menu = panel->findChild<QComboBox*>(QStringLiteral("formatMenu"));
    ASSERT_TRUE(menu);
    QStringList items;
    for (int i = 0; i < menu->count(); ++i) items << menu->itemText(i);
    EXPECT_EQ(items.contains(QStringLiteral("MP3")), lame);
    const ExportFormat expected = lame ? ExportFormat::mp3 : ExportFormat::wav;
    EXPECT_EQ(panel->findChild<ExportOptionsModel*>()->format(), expected);
    EXPECT_EQ(menu->currentText(), QString::fromUtf8(quar::displayName(expected)));
    EXPECT_EQ(panel->nameFieldText(), QStringLiteral("tone.") + QString::fromUtf8(quar::fileExtension(expected)));
    panel->reject();
  }
}

// An export starts from the source file's own depth where the format has it: a 32-bit float
// selection exports as 32-bit float, not the stored 24-bit.
TEST_F(AudioDocumentFileSafetyTest, AnExportDefaultsToTheSourcesDepth) {
  Preferences::store(EncodeSettings::defaults(ExportFormat::wav));
  struct Case {
    PCMBitDepth source;
    std::optional<ExportFormat> chosen;  // none: the panel's first format
    PCMBitDepth exported;
  };
  int exports = 0;
  for (const Case& c : {Case{PCMBitDepth::float32, std::nullopt, PCMBitDepth::float32},
                        Case{PCMBitDepth::int16, std::nullopt, PCMBitDepth::int16},
                        Case{PCMBitDepth::int16, ExportFormat::flac, PCMBitDepth::int16},
                        // FLAC has no float: its stored (default) depth.
                        Case{PCMBitDepth::float32, ExportFormat::flac, PCMBitDepth::int24}}) {
    SCOPED_TRACE(exports);
    const QString name = QStringLiteral("source-%1.wav").arg(static_cast<int>(c.source));
    const QString path = QFileInfo::exists(folder.filePath(name))
                             ? folder.filePath(name)
                             : writeAudio(folder, name, 4800, 48000, 2, pcm(ExportFormat::wav, c.source));
    AudioDocument* document = openLoaded(path);
    ASSERT_TRUE(document);
    document->model().setSelection(quar::FrameRange(0, 2400));
    document->exportSelection();
    SavePanel* panel = savePanel(*document);
    ASSERT_TRUE(panel);
    auto* options = panel->findChild<ExportOptionsModel*>();
    if (c.chosen) options->setFormat(*c.chosen);
    EXPECT_EQ(options->settings().bitDepth, c.exported);
    const QString target = folder.filePath(QStringLiteral("part-%1.").arg(++exports) +
                                           QString::fromUtf8(quar::fileExtension(options->format())));
    confirmPanel(panel, target);
    ASSERT_TRUE(waitUntilIdle(*document));
    const quar::AudioFileInfo info = infoOf(target);
    EXPECT_EQ(info.isFloat, c.exported == PCMBitDepth::float32);
    EXPECT_EQ(info.bitDepth, quar::bits(c.exported));
    // Each case starts from the same stored settings.
    QSettings().clear();
    Preferences::store(EncodeSettings::defaults(ExportFormat::wav));
    document->close();
  }
}
