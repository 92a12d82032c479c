#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "platform/SavePanel.h"

using namespace DocumentTestSupport;

class SavePanelTest : public AppTest {
protected:
  // Opens a WAV panel in the folder; the result lands in `result`.
  SavePanel* begin(std::optional<QUrl>& result) {
    auto* panel = new SavePanel;
    panel->setDirectory(folder.path());
    panel->setAllowedType(QStringLiteral("WAV"), {QStringLiteral("wav")});
    panel->begin([panel, &result](bool confirmed) { result = confirmed ? panel->url() : QUrl(); });
    return panel;
  }
  QUrl fileUrl(const char* name) const { return QUrl::fromLocalFile(folder.filePath(QString::fromUtf8(name))); }

  QTemporaryDir folder;
};

TEST_F(SavePanelTest, TheChosenNameCarriesTheTypesExtension) {
  struct Case {
    const char* typed;
    const char* saved;
  };
  for (const Case& c : {Case{"song", "song.wav"}, Case{"song.WAV", "song.WAV"}, Case{"song.mp3", "song.mp3.wav"}}) {
    std::optional<QUrl> result;
    SavePanel* panel = begin(result);
    EXPECT_EQ(panel->windowModality(), Qt::ApplicationModal);
    confirmPanel(panel, QString::fromUtf8(c.typed));
    EXPECT_EQ(result, fileUrl(c.saved)) << c.typed;
  }
}

TEST_F(SavePanelTest, ANewNameReplacesAFileSelectedInTheBrowser) {
  QFile existing(folder.filePath(QStringLiteral("take.wav")));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  std::optional<QUrl> result;
  SavePanel* panel = begin(result);
  panel->fileDialog()->selectFile(existing.fileName());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->fileDialog()->selectedFiles() == QStringList{existing.fileName()}; }));
  confirmPanel(panel, QStringLiteral("other.wav"));
  EXPECT_EQ(result, fileUrl("other.wav"));
}

TEST_F(SavePanelTest, ReplacingAFileIsConfirmed) {
  QFile existing(folder.filePath(QStringLiteral("take.wav")));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  std::optional<QUrl> result;
  const QPointer<SavePanel> panel = begin(result);
  confirmPanel(panel, QStringLiteral("take"));
  QMessageBox* alert = waitForDialog<QMessageBox>(panel, QStringLiteral("replaceAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), QStringLiteral("\u201Ctake.wav\u201D already exists. Do you want to replace it?"));
  clickButton(alert, QStringLiteral("Cancel"));
  EXPECT_FALSE(result);
  EXPECT_TRUE(panel && panel->fileDialog()->isVisible());

  confirmPanel(panel, QStringLiteral("take"));
  alert = waitForDialog<QMessageBox>(panel, QStringLiteral("replaceAlert"));
  ASSERT_TRUE(alert);
  clickButton(alert, QStringLiteral("Replace"));
  EXPECT_EQ(result, fileUrl("take.wav"));
}

TEST_F(SavePanelTest, CancelEndsWithoutAFile) {
  std::optional<QUrl> result;
  const QPointer<SavePanel> panel = begin(result);
  static_cast<QDialog*>(panel->fileDialog())->reject();
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->isEmpty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !panel; }));
}
