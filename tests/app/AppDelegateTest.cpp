#include <gtest/gtest.h>

#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>

#include <cstdlib>

#include "AppDelegate.h"
#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "document/AudioDocumentController.h"

using namespace DocumentTestSupport;

namespace {

QStringList itemTitles(QMenu* menu) {
  QStringList titles;
  for (const QAction* action : menu->actions())
    if (!action->isSeparator()) titles << action->text();
  return titles;
}

} // namespace

class AppDelegateTest : public AppTest {
protected:
  void launch(const QStringList& files = {}) {
    delegate.applicationWillFinishLaunching();
    delegate.openFiles(files);
    delegate.applicationDidFinishLaunching();
  }

  QTemporaryDir folder;
  AppDelegate delegate;
};

TEST_F(AppDelegateTest, WithoutADocumentTheOpenPanelAppearsOnceAfterAMoment) {
  launch();
  QMainWindow* window = delegate.noDocumentWindow();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel"));
  QMenu* file = window->menuBar()->actions().front()->menu();
  EXPECT_EQ(itemTitles(file), (QStringList{QStringLiteral("New"), QStringLiteral("Open\u2026"), QStringLiteral("Open Recent"),
                                          QStringLiteral("Close"), QStringLiteral("Save"), QStringLiteral("Save As\u2026"),
                                          QStringLiteral("Export Selection\u2026"), QStringLiteral("Revert to Saved"),
                                          QStringLiteral("Quit Quarnel")}));
  EXPECT_FALSE(file->actions()[4]->isEnabled());  // Close: no document

  EXPECT_TRUE(delegate.openPanelTimer().isActive());
  EXPECT_EQ(delegate.openPanelTimer().interval(), 400);
  EXPECT_FALSE(delegate.documentController().openPanel());
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.documentController().openPanel() != nullptr; }));
  QPointer<QFileDialog> panel = delegate.documentController().openPanel();
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(panel->nameFilters().size(), 2);
  EXPECT_TRUE(panel->nameFilters().front().contains(QStringLiteral("*.wav")));
  EXPECT_EQ(panel->nameFilters().back(), QStringLiteral("All Files (*)"));
  delegate.documentController().openDocument();
  EXPECT_EQ(visibleTopLevels<QFileDialog>(QStringLiteral("openPanel")).size(), 1u);

  static_cast<QDialog*>(panel.data())->reject();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !panel; }));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, AFileOnTheCommandLineOpensWithoutThePanel) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  launch({path});
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  const QPointer<Document> document = delegate.documentController().documents().front();
  EXPECT_TRUE(document->windowForSheet()->isVisible());
  EXPECT_FALSE(delegate.noDocumentWindow()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.openPanelTimer().isActive(); }));
  EXPECT_FALSE(delegate.documentController().openPanel());

  // The no-document window comes back with the last document's close.
  document->windowForSheet()->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !document; }));
  EXPECT_TRUE(delegate.noDocumentWindow()->isVisible());
}

TEST_F(AppDelegateTest, UnderTheTestHarnessNoPanelIsScheduled) {
  setenv("XCTestConfigurationFilePath", "", 1);
  launch();
  unsetenv("XCTestConfigurationFilePath");
  EXPECT_FALSE(delegate.openPanelTimer().isActive());
  EXPECT_FALSE(delegate.documentController().openPanel());
}

TEST_F(AppDelegateTest, HelpListsTheShortcutsWithThisPlatformsKeyNames) {
  const auto alert = AppDelegate::helpAlert();
  EXPECT_EQ(alert->text(), QStringLiteral("Quarnel Keyboard Shortcuts"));
  const QStringList lines = alert->informativeText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 10);
  EXPECT_EQ(lines[0], QStringLiteral("Space \u2014 Play / Pause        Shift+Space \u2014 Play Selection"));
  EXPECT_EQ(lines[3], QStringLiteral("Ctrl+= / Ctrl+- \u2014 Zoom in / out     Ctrl+0 \u2014 Zoom to fit     Ctrl+E \u2014 Zoom to selection"));
  EXPECT_EQ(lines[5], QStringLiteral("M \u2014 Add marker              Ctrl+Alt+V \u2014 Paste Mix"));
  EXPECT_EQ(lines[8], QStringLiteral("Alt+scroll or Ctrl+Alt+[ ] \u2014 zoom the gain scale   Drag the lane's top edge to resize"));
  for (const QChar symbol : {QChar(0x2318), QChar(0x2325), QChar(0x21E7), QChar(0x2303)})
    EXPECT_FALSE(alert->informativeText().contains(symbol));
}
