#include <gtest/gtest.h>

#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <cstdlib>

#include "AppDelegate.h"
#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "EditorCommands.h"
#include "document/AudioDocumentController.h"
#include "platform/CommandRouter.h"
#include "platform/NullAudioBackend.h"
#include "recording/Recorder.h"

using namespace DocumentTestSupport;

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

// Files that cannot be opened are each told in front of everything; the open panel follows
// once every alert has been answered.
TEST_F(AppDelegateTest, FilesThatCannotBeOpenedAreToldBeforeTheOpenPanel) {
  QFile text(folder.filePath(QStringLiteral("notes.wav")));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not audio at all\n");
  text.close();
  launch({folder.filePath(QStringLiteral("missing.wav")), text.fileName()});
  EXPECT_TRUE(delegate.documentController().documents().empty());
  EXPECT_TRUE(delegate.noDocumentWindow()->isVisible());
  std::vector<QMessageBox*> alerts = visibleTopLevels<QMessageBox>(QStringLiteral("errorAlert"));
  ASSERT_EQ(alerts.size(), 2u);
  QStringList texts;
  for (QMessageBox* alert : alerts) texts << alert->text();
  texts.sort();
  EXPECT_EQ(texts, (QStringList{QStringLiteral("The file \u201Cmissing.wav\u201D couldn\u2019t be opened."),
                                QStringLiteral("The file \u201Cnotes.wav\u201D couldn\u2019t be opened.")}));
  // The alert on top takes the keys; the other waits under it.
  auto* front = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  ASSERT_TRUE(front == alerts[0] || front == alerts[1]);
  EXPECT_TRUE(QTest::qWaitForWindowActive(front));
  QMessageBox* next = front == alerts[0] ? alerts[1] : alerts[0];

  ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.openPanelTimer().isActive(); }));
  EXPECT_FALSE(delegate.documentController().openPanel());
  front->accept();
  EXPECT_EQ(QApplication::activeModalWidget(), next);
  EXPECT_FALSE(delegate.documentController().openPanel());
  next->accept();
  QPointer<QFileDialog> panel = delegate.documentController().openPanel();
  ASSERT_TRUE(panel);
  EXPECT_TRUE(panel->isVisible());
  static_cast<QDialog*>(panel.data())->reject();
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

// With no document, the window "Quarnel" carries the whole menu bar: only the application's
// own commands work there.
TEST_F(AppDelegateTest, TheNoDocumentWindowOffersOnlyTheApplicationsCommands) {
  setenv("XCTestConfigurationFilePath", "", 1);
  launch();
  unsetenv("XCTestConfigurationFilePath");
  QMainWindow* window = delegate.noDocumentWindow();
  auto* router = window->findChild<CommandRouter*>();
  ASSERT_TRUE(router);
  router->validateAll();
  QStringList enabled;
  int editorItems = 0;
  for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
    const QString command = MenuItem::command(*action);
    if (!command.isEmpty() && action->isEnabled()) enabled << command;
    if (EditorCommands::action(command)) ++editorItems;
  }
  enabled.sort();
  EXPECT_EQ(enabled, (QStringList{"arrangeInFront", "hide", "newDocument", "openDocument", "orderFrontStandardAboutPanel",
                                  "showHelp", "terminate"}));
  EXPECT_GT(editorItems, 50);
  for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) {
    if (menu->title() == QLatin1String("Services")) {
      EXPECT_FALSE(menu->menuAction()->isEnabled());
    }
  }

  // The help alert waits for its answer.
  QString shown;
  QTimer::singleShot(0, [&shown] {
    if (auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = alert->text();
      alert->accept();
    }
  });
  router->item(QStringLiteral("showHelp"))->trigger();
  EXPECT_EQ(shown, QStringLiteral("Quarnel Keyboard Shortcuts"));

  router->item(QStringLiteral("orderFrontStandardAboutPanel"))->trigger();
  const auto about = visibleTopLevels<QMessageBox>(QStringLiteral("aboutPanel"));
  ASSERT_EQ(about.size(), 1u);
  about.front()->close();

  // Hide puts the application's windows in the task bar.
  router->item(QStringLiteral("hide"))->trigger();
  EXPECT_TRUE(window->isMinimized());
  window->showNormal();

  router->item(QStringLiteral("openDocument"))->trigger();
  QPointer<QFileDialog> panel = delegate.documentController().openPanel();
  ASSERT_TRUE(panel);
  static_cast<QDialog*>(panel.data())->reject();
  router->item(QStringLiteral("newDocument"))->trigger();
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  EXPECT_TRUE(delegate.documentController().documents().front()->windowForSheet()->isVisible());
  EXPECT_FALSE(window->isVisible());
}

// Quit closes each document as its window would: a take being recorded goes into the document
// first, and the question about unsaved changes covers it.
TEST_F(AppDelegateTest, QuitWhileRecordingCommitsTheTakeBeforeAskingToSave) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 96000);
  setenv("XCTestConfigurationFilePath", "", 1);
  launch({path});
  unsetenv("XCTestConfigurationFilePath");
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  const QPointer<AudioDocument> document = static_cast<AudioDocument*>(delegate.documentController().documents().front());
  ASSERT_TRUE(waitUntilIdle(*document));
  EditorModel& model = document->model();
  Recorder& recorder = model.recorder();
  const int64_t before = model.content().frameCount();
  recorder.toggle();
  recorder.toggle();
  ASSERT_TRUE(recorder.isRecording());
  dynamic_cast<NullAudioBackend&>(AudioBackend::shared()).pump(4800);
  recorder.engine().drain();

  QWidget* window = document->windowForSheet();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(recorder.isRecording());
  QMessageBox* alert = waitForDialog<QMessageBox>(window, QStringLiteral("closeAlert"));
  ASSERT_TRUE(alert);
  EXPECT_EQ(model.content().frameCount(), before + 4800);
  EXPECT_TRUE(document->isEdited());
  clickButton(alert, QStringLiteral("Don\u2019t Save"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !document; }));
  EXPECT_TRUE(delegate.documentController().documents().empty());
}

// Open Recent lists the recent files above "Clear Menu" each time it opens.
TEST_F(AppDelegateTest, OpenRecentListsTheRecentFilesAndOpensThem) {
  setenv("XCTestConfigurationFilePath", "", 1);
  launch();
  unsetenv("XCTestConfigurationFilePath");
  QMainWindow* window = delegate.noDocumentWindow();
  auto* router = window->findChild<CommandRouter*>();
  QMenu* recent = nullptr;
  for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
    if (menu->title() == QLatin1String("Open Recent")) recent = menu;
  ASSERT_TRUE(recent);
  const auto titles = [recent] {
    QStringList list;
    for (const QAction* action : recent->actions()) list << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return list;
  };
  Q_EMIT recent->aboutToShow();
  EXPECT_EQ(titles(), QStringList{"Clear Menu"});
  EXPECT_FALSE(router->item(QStringLiteral("clearRecentDocuments"))->isEnabled());

  const QString path = writeAudio(folder, QStringLiteral("a & b.wav"), 4800);
  delegate.documentController().noteNewRecentDocumentUrl(QUrl::fromLocalFile(path));
  Q_EMIT recent->aboutToShow();
  Q_EMIT recent->aboutToShow();
  EXPECT_EQ(titles(), (QStringList{"a && b.wav", "---", "Clear Menu"}));
  QAction* file = router->item(QStringLiteral("openRecentDocument"));
  ASSERT_TRUE(file && file->isEnabled());
  file->trigger();
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  EXPECT_EQ(delegate.documentController().documents().front()->displayName(), QStringLiteral("a & b.wav"));

  router->item(QStringLiteral("clearRecentDocuments"))->trigger();
  EXPECT_TRUE(delegate.documentController().recentDocumentUrls().isEmpty());
}
