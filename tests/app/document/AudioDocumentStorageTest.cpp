#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPointer>

#include <sys/mount.h>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "core/BlockStore.h"
#include "document/AudioDocument.h"
#include "document/AudioDocumentController.h"
#include "platform/UndoManager.h"

using namespace DocumentTestSupport;

// The samples of the document live in a store on a 4 MB disk of its own.
class AudioDocumentStorageTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(files.isValid() && disk.isValid());
    mounted = ::mount("tmpfs", disk.path().toUtf8().constData(), "tmpfs", 0, "size=4m") == 0;
    if (!mounted) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    store = quar::BlockStore::open(disk.path().toStdString());
    ASSERT_TRUE(store);
    quar::BlockStore::replaceCurrent(store);
  }
  void TearDown() override {
    for (QMessageBox* alert : visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert"))) delete alert;
    for (Document* document : controller.documents()) document->close();
    quar::BlockStore::replaceCurrent(nullptr);
    store.reset();
    if (mounted) ::umount(disk.path().toUtf8().constData());
  }

  QTemporaryDir files;
  QTemporaryDir disk;
  bool mounted = false;
  std::shared_ptr<quar::BlockStore> store;
  AudioDocumentController controller;
};

TEST_F(AudioDocumentStorageTest, AnEditThatFindsTheDiskFullIsShownAndChangesNothing) {
  const QString path = writeAudio(files, QStringLiteral("tone.wav"), 300000);  // 2.4 MB of samples
  AudioDocument* document = openDocument(controller, path);
  ASSERT_TRUE(document && waitUntilIdle(*document));
  EditorModel& model = document->model();
  ASSERT_TRUE(model.content().segments().front().block->inStore());

  // A short edit fits; the whole file does not fit a second time.
  model.setSelection(quar::FrameRange(0, 65536), std::nullopt);
  model.applyGain(-3);
  ASSERT_TRUE(waitUntilIdle(*document));
  ASSERT_TRUE(document->undoManager()->canUndo());
  const QString actionName = document->undoManager()->undoActionName();
  const quar::AudioContent before = model.content();
  const auto samplesBefore = before.readChannels(before.fullRange());

  model.setSelection(std::nullopt);
  model.applyGain(-3);
  ASSERT_TRUE(waitUntilIdle(*document));
  QMessageBox* alert = waitForDialog<QMessageBox>(document->windowForSheet(), QStringLiteral("errorAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), QStringLiteral("There isn\u2019t enough space on the disk for the audio in the folder \u201C%1\u201D.")
                               .arg(disk.path()));
  EXPECT_TRUE(model.content().isIdentical(before));
  EXPECT_EQ(model.content().readChannels(model.content().fullRange()), samplesBefore);
  EXPECT_EQ(document->undoManager()->undoActionName(), actionName);
  EXPECT_FALSE(document->undoManager()->canRedo());
  document->undoManager()->undo();
  EXPECT_FALSE(document->undoManager()->canUndo());
}
