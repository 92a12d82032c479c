#include <gtest/gtest.h>

#include <QFile>
#include <QMessageBox>
#include <QPointer>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "core/EnvelopeSet.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"

using namespace DocumentTestSupport;

// Closing a document whose save still runs, with its file on a 1 MB disk of its own.
class AudioDocumentCloseTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(disk.isValid());
    mounted = ::mount("tmpfs", disk.path().toUtf8().constData(), "tmpfs", 0, "size=1m") == 0;
    if (!mounted) GTEST_SKIP() << "mounting a tmpfs is not permitted here (it needs root)";
  }
  void TearDown() override {
    for (const char* name : {"errorAlert", "clippingAlert", "closeAlert"})
      for (QMessageBox* alert : visibleTopLevels<QMessageBox>(QString::fromLatin1(name))) delete alert;
    for (Document* document : controller.documents()) document->close();
    if (mounted) ::umount(disk.path().toUtf8().constData());
  }

  // Leaves `bytes` free on the disk.
  void fill(int64_t bytes) {
    struct statvfs info {};
    ASSERT_EQ(::statvfs(disk.path().toUtf8().constData(), &info), 0);
    const auto free = static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
    QFile filler(disk.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    ASSERT_EQ(filler.write(QByteArray(static_cast<qsizetype>(std::max<int64_t>(free - bytes, 0)), 'x')),
              std::max<int64_t>(free - bytes, 0));
  }

  QTemporaryDir disk;
  bool mounted = false;
  AudioDocumentController controller;
};

// Closing a clean document while it exports onto the full disk waits too, and the failure keeps
// it open; without a write, the next close is at once.
TEST_F(AudioDocumentCloseTest, ClosingDuringAnExportWaitsForIt) {
  const QString path = writeAudio(disk, QStringLiteral("tone.wav"), 48000);
  AudioDocument* document = nullptr;
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* opened, std::exception_ptr) {
    document = qobject_cast<AudioDocument*>(opened);
  });
  ASSERT_TRUE(document && waitUntilIdle(*document));
  const QPointer<AudioDocument> guard(document);
  QWidget* window = document->windowForSheet();

  fill(100 * 1024);
  document->exportSelection();
  SavePanel* panel = waitForDialog<SavePanel>(window, QStringLiteral("savePanel"));
  ASSERT_TRUE(panel);
  confirmPanel(panel, disk.filePath(QStringLiteral("copy.wav")));
  ASSERT_TRUE(document->model().jobs().busy());
  window->close();
  QMessageBox* failure = waitForDialog<QMessageBox>(window, QStringLiteral("errorAlert"));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->text(), QStringLiteral("The audio could not be exported to \u201Ccopy.wav\u201D in the folder \u201C%1\u201D.")
                                 .arg(disk.path()));
  EXPECT_TRUE(guard);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(QFile::exists(disk.filePath(QStringLiteral("copy.wav"))));
  delete failure;

  window->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !guard; }));
}

// The close waits for the save: no question while it runs, the window and its busy panel stay.
// A save that failed is shown and keeps the document open and edited; one that succeeded lets
// the document close, and its clipping notice still appears.
TEST_F(AudioDocumentCloseTest, ClosingDuringASaveWaitsForItAndShowsItsOutcome) {
  const QString path = writeAudio(disk, QStringLiteral("tone.wav"), 48000);  // 288 kB
  AudioDocument* document = nullptr;
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* opened, std::exception_ptr) {
    document = qobject_cast<AudioDocument*>(opened);
  });
  ASSERT_TRUE(document && waitUntilIdle(*document));
  const QPointer<AudioDocument> guard(document);
  QWidget* window = document->windowForSheet();
  const auto original = samplesOf(path);

  editGain(*document);
  fill(100 * 1024);
  document->saveDocument();
  ASSERT_TRUE(document->isSaving());
  window->close();
  EXPECT_TRUE(document->model().jobs().busy()) << "the busy panel stays";
  QMessageBox* failure = waitForDialog<QMessageBox>(window, QStringLiteral("errorAlert"));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->text(),
            QStringLiteral("The file \u201Ctone.wav\u201D could not be saved in the folder \u201C%1\u201D.").arg(disk.path()));
  EXPECT_FALSE(document->isSaving());
  EXPECT_TRUE(guard);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(document->isEdited());
  EXPECT_TRUE(window->findChildren<QMessageBox*>(QStringLiteral("closeAlert")).isEmpty())
      << "no question about unsaved changes, neither while the save ran nor after it failed";
  EXPECT_EQ(samplesOf(path), original);
  delete failure;

  // With room, a save that clips: the document closes once it is written, without a question.
  QFile::remove(disk.filePath(QStringLiteral("filler")));
  document->model().setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope({quar::EnvelopePoint(0, 17)}), {}, {}});
  document->saveDocument();
  window->close();
  EXPECT_TRUE(guard);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !guard; }, 20000));
  QMessageBox* clipping = waitForDialog<QMessageBox>(nullptr, QStringLiteral("clippingAlert"));
  ASSERT_TRUE(clipping);
  EXPECT_TRUE(clipping->text().endsWith(QStringLiteral(" samples were clipped in \u201Ctone.wav\u201D.")));
  EXPECT_TRUE(visibleTopLevels<QMessageBox>(QStringLiteral("closeAlert")).empty());
  EXPECT_EQ(samplesOf(path).front().size(), 48000u);
  EXPECT_NE(samplesOf(path), original);
}
