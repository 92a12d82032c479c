#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/AudioDocumentController.h"
#include "platform/Document.h"

using namespace DocumentTestSupport;

class DocumentControllerTest : public AppTest {
protected:
  QTemporaryDir folder;
  AudioDocumentController controller;
};

TEST_F(DocumentControllerTest, UntitledDocumentsTakeTheLowestFreeNumber) {
  for (int i = 0; i < 3; ++i) controller.newDocument();
  ASSERT_EQ(controller.documents().size(), 3u);
  EXPECT_EQ(controller.documents()[0]->displayName(), QStringLiteral("Untitled"));
  EXPECT_EQ(controller.documents()[1]->displayName(), QStringLiteral("Untitled 2"));
  EXPECT_EQ(controller.documents()[2]->displayName(), QStringLiteral("Untitled 3"));
  EXPECT_EQ(controller.documents()[1]->windowForSheet()->windowTitle(), QStringLiteral("Untitled 2[*]"));
  EXPECT_EQ(controller.documents()[0]->fileType(), QStringLiteral("com.microsoft.waveform-audio"));

  const QPointer<Document> second = controller.documents()[1];
  second->windowForSheet()->close();  // not edited: closes without asking
  ASSERT_TRUE(QTest::qWaitFor([&] { return !second; }));
  controller.newDocument();
  EXPECT_EQ(controller.documents().back()->displayName(), QStringLiteral("Untitled 2"));
}

TEST_F(DocumentControllerTest, TypesFilesByExtension) {
  struct Case {
    const char* name;
    const char* type;
  };
  for (const Case& c : {Case{"a.wav", "com.microsoft.waveform-audio"}, Case{"b.AIF", "public.aiff-audio"},
                        Case{"c.caf", "com.apple.coreaudio-format"}, Case{"d.flac", "org.xiph.flac"},
                        Case{"e.m4a", "com.apple.m4a-audio"}, Case{"f.mp3", "public.mp3"}, Case{"g.opus", "org.xiph.opus"},
                        Case{"h.wma", "public.audio"}, Case{"i.xyz", "public.audio"}, Case{"noextension", "public.audio"}})
    EXPECT_EQ(controller.typeForContentsOfUrl(QUrl::fromLocalFile(folder.filePath(QString::fromUtf8(c.name)))),
              QString::fromUtf8(c.type))
        << c.name;
}

TEST_F(DocumentControllerTest, OpeningAnOpenFileShowsItsDocument) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  Document* first = nullptr;
  Document* second = nullptr;
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), true, [&](Document* d, std::exception_ptr) { first = d; });
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(folder.path() + QStringLiteral("/./tone.wav")), true,
                                           [&](Document* d, std::exception_ptr) { second = d; });
  ASSERT_TRUE(first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(controller.documents().size(), 1u);
  EXPECT_EQ(first->windowControllers().size(), 1u);
  EXPECT_TRUE(first->windowForSheet()->isVisible());

  // Once its file is gone, the document no longer stands for other missing files.
  ASSERT_TRUE(QFile::remove(path));
  Document* missing = first;
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(folder.filePath(QStringLiteral("other.wav"))), true,
                                           [&](Document* d, std::exception_ptr) { missing = d; });
  EXPECT_FALSE(missing);
  EXPECT_EQ(controller.documentForUrl(QUrl::fromLocalFile(path)), first);
  for (QMessageBox* alert : visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert"))) delete alert;
}

TEST_F(DocumentControllerTest, RecentDocumentsKeepTheLastTenNewestFirst) {
  for (int i = 0; i < 12; ++i) controller.noteNewRecentDocumentUrl(QUrl::fromLocalFile(folder.filePath(QString::number(i))));
  controller.noteNewRecentDocumentUrl(QUrl::fromLocalFile(folder.filePath(QStringLiteral("5"))));
  QList<QUrl> expected{QUrl::fromLocalFile(folder.filePath(QStringLiteral("5")))};
  for (int i = 11; expected.size() < 10; --i)
    if (i != 5) expected << QUrl::fromLocalFile(folder.filePath(QString::number(i)));
  EXPECT_EQ(controller.recentDocumentUrls(), expected);
  controller.clearRecentDocuments();
  EXPECT_TRUE(controller.recentDocumentUrls().isEmpty());

  // Opening a file notes it.
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  controller.openDocumentWithContentsOfUrl(QUrl::fromLocalFile(path), false);
  EXPECT_EQ(controller.recentDocumentUrls(), QList<QUrl>{QUrl::fromLocalFile(path)});
}

TEST_F(DocumentControllerTest, CloseAllStopsAtTheFirstCancel) {
  controller.newDocument();
  controller.newDocument();
  auto* edited = qobject_cast<AudioDocument*>(controller.documents()[1]);
  edit(*edited, signal(100, 2, 48000));
  std::optional<bool> closedAll;
  controller.closeAllDocuments([&](bool closed) { closedAll = closed; });
  QMessageBox* alert = waitForDialog<QMessageBox>(edited->windowForSheet(), QStringLiteral("closeAlert"));
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Cancel"));
  EXPECT_EQ(closedAll, false);
  EXPECT_EQ(controller.documents().size(), 2u);

  controller.closeAllDocuments([&](bool closed) { closedAll = closed; });
  alert = waitForDialog<QMessageBox>(edited->windowForSheet(), QStringLiteral("closeAlert"));
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Don\u2019t Save"));
  EXPECT_EQ(closedAll, true);
  EXPECT_TRUE(controller.documents().empty());
}
