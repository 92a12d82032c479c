#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTimer>

#include <cstdlib>

#include "AppDelegate.h"
#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "window/EditorCommands.h"
#include "document/AudioDocumentController.h"
#include "platform/CommandRouter.h"
#include "platform/NullAudioBackend.h"
#include "recording/Recorder.h"
#include "window/EditorWindowController.h"

using namespace DocumentTestSupport;

class AppDelegateTest : public AppTest {
protected:
  void launch(const QStringList& files = {}) {
    delegate.startLaunching();
    delegate.openFiles(files);
    delegate.finishLaunching();
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
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  EXPECT_FALSE(delegate.openPanelTimer().isActive());
  EXPECT_FALSE(delegate.documentController().openPanel());
}

// The action no menu item sends: an untitled document, the empty stereo one, in its window.
TEST_F(AppDelegateTest, NewStereoDocumentOpensAnEmptyUntitledStereoDocument) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  delegate.newStereoDocument();
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  auto* document = qobject_cast<AudioDocument*>(delegate.documentController().documents().front());
  ASSERT_TRUE(document);
  EXPECT_TRUE(document->fileUrl().isEmpty());
  EXPECT_EQ(document->displayName(), QStringLiteral("Untitled"));
  EXPECT_EQ(document->model().content().channelCount(), 2);
  EXPECT_EQ(document->model().content().sampleRate(), 48000);
  EXPECT_EQ(document->model().content().frameCount(), 0);
  EXPECT_TRUE(document->windowForSheet()->isVisible());
  EXPECT_FALSE(EditorCommands::find(QStringLiteral("newStereoDocument")));
}

// The shortcuts stand in columns that line up whatever the font: each entry in its own cell of
// one table, never wrapped.
TEST_F(AppDelegateTest, HelpListsTheShortcutsInColumnsWithThisPlatformsKeyNames) {
  const std::vector<QStringList> expected{
      {"Space \u2014 Play / Pause", "Shift+Space \u2014 Play Selection"},
      {"Ctrl+L \u2014 Toggle Loop", "\u21A9 \u2014 Go to Start"},
      {"\u2190 / \u2192 \u2014 Move cursor", "Shift+\u2190 / Shift+\u2192 \u2014 Extend selection"},
      {"Ctrl+= / Ctrl+- \u2014 Zoom in / out", "Ctrl+0 \u2014 Zoom to fit", "Ctrl+E \u2014 Zoom to selection"},
      {"Alt+drag \u2014 Select a single channel"},
      {"M \u2014 Add marker", "Ctrl+Alt+V \u2014 Paste Mix"},
      {"Loudness lane: click the line to add a gain point, drag to move it"},
      {"Shift+drag \u2014 raise/lower a whole section", "Alt+click \u2014 delete point"},
      {"Alt+scroll or Ctrl+Alt+[ ] \u2014 zoom the gain scale", "Drag the lane's top edge to resize"},
      {"Pinch or Ctrl+scroll \u2014 Zoom", "Scroll \u2014 Pan"},
  };
  EXPECT_EQ(AppDelegate::shortcutRows(), expected);

  const auto alert = AppDelegate::helpAlert();
  EXPECT_EQ(alert->text(), QStringLiteral("Quarnel Keyboard Shortcuts"));
  for (const QChar symbol : {QChar(0x2318), QChar(0x2325), QChar(0x21E7), QChar(0x2303)})
    EXPECT_FALSE(alert->informativeText().contains(symbol));
  // The table as the alert lays it out: one row per line, the entries in cells, a row's last
  // entry spanning the columns left, so the three-entry row sets the grid. An entry keeps to
  // one line: its blanks do not break.
  QTextDocument document;
  document.setHtml(alert->informativeText());
  QTextTable* table = nullptr;
  for (QTextFrame* frame : document.rootFrame()->childFrames())
    if (auto* found = qobject_cast<QTextTable*>(frame)) table = found;
  ASSERT_TRUE(table);
  ASSERT_EQ(table->rows(), static_cast<int>(expected.size()));
  EXPECT_EQ(table->columns(), 3);
  for (int row = 0; row < table->rows(); ++row) {
    QStringList cells;
    for (int column = 0; column < table->columns(); column += table->cellAt(row, column).columnSpan())
      cells << table->cellAt(row, column).firstCursorPosition().block().text();
    const QString shown = cells.join(QLatin1Char('|'));
    EXPECT_FALSE(shown.contains(QLatin1Char(' '))) << shown.toStdString();
    EXPECT_EQ(QString(shown).replace(QChar(0xA0), QLatin1Char(' ')).toStdString(),
              expected[static_cast<size_t>(row)].join(QLatin1Char('|')).toStdString());
  }
}

// With no document, the window "Quarnel" carries the whole menu bar: only the application's
// own commands work there.
TEST_F(AppDelegateTest, TheNoDocumentWindowOffersOnlyTheApplicationsCommands) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  QMainWindow* window = delegate.noDocumentWindow();
  auto* router = window->findChild<CommandRouter*>();
  ASSERT_TRUE(router);
  router->validateAll();
  QStringList enabled;
  int editorItems = 0;
  for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
    const QString command = MenuItem::command(*action);
    if (!command.isEmpty() && action->isEnabled()) enabled << command;
    if (EditorCommands::handler<&Command::editor>(command)) ++editorItems;
  }
  enabled.sort();
  EXPECT_EQ(enabled, (QStringList{"bringAllToFront", "hide", "newDocument", "newRecording", "openDocument", "quit",
                                  "showAbout", "showHelp"}));
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

  router->item(QStringLiteral("showAbout"))->trigger();
  const auto about = visibleTopLevels<QMessageBox>(QStringLiteral("aboutPanel"));
  ASSERT_EQ(about.size(), 1u);
  about.front()->close();

  // Hide puts the application's windows in the task bar; Show All brings them back.
  QAction* showAll = router->item(QStringLiteral("showAll"));
  router->item(QStringLiteral("hide"))->trigger();
  EXPECT_TRUE(window->isMinimized());
  router->validateAll();
  ASSERT_TRUE(showAll->isEnabled());
  showAll->trigger();
  EXPECT_FALSE(window->isMinimized());
  router->validateAll();
  EXPECT_FALSE(showAll->isEnabled());

  router->item(QStringLiteral("openDocument"))->trigger();
  QPointer<QFileDialog> panel = delegate.documentController().openPanel();
  ASSERT_TRUE(panel);
  static_cast<QDialog*>(panel.data())->reject();
  router->item(QStringLiteral("newDocument"))->trigger();
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  EXPECT_TRUE(delegate.documentController().documents().front()->windowForSheet()->isVisible());
  EXPECT_FALSE(window->isVisible());
}

// A document window's chain runs from its editor window through its document to the
// application; in the no-document window the application takes New Recording too.
TEST_F(AppDelegateTest, EachWindowsChainEndsWithTheApplication) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch({writeAudio(folder, QStringLiteral("tone.wav"), 4800)});
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  const Document* opened = delegate.documentController().documents().front();
  auto& window = static_cast<EditorWindowController&>(*opened->windowControllers().front());
  const CommandRouter& router = window.commandRouter();
  const auto* noDocument = delegate.noDocumentWindow()->findChild<CommandRouter*>();
  ASSERT_TRUE(noDocument);
  CommandResponder* application = noDocument->responderFor(QStringLiteral("quit"));
  ASSERT_TRUE(application);

  EXPECT_EQ(router.responderFor(QStringLiteral("newRecording")), static_cast<CommandResponder*>(&window));
  CommandResponder* document = router.responderFor(QStringLiteral("saveDocument"));
  EXPECT_TRUE(document && document != static_cast<CommandResponder*>(&window) && document != application);
  EXPECT_EQ(router.responderFor(QStringLiteral("revertDocumentToSaved")), document);
  EXPECT_EQ(router.responderFor(QStringLiteral("quit")), application);
  EXPECT_EQ(router.responderFor(QStringLiteral("hideOthers")), nullptr);
  EXPECT_EQ(noDocument->responderFor(QStringLiteral("newRecording")), application);
  EXPECT_EQ(noDocument->responderFor(QStringLiteral("saveDocument")), nullptr);
}

// Quit closes each document as its window would: a take being recorded goes into the document
// first, and the question about unsaved changes covers it.
TEST_F(AppDelegateTest, QuitWhileRecordingCommitsTheTakeBeforeAskingToSave) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 96000);
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch({path});
  unsetenv("QUARNEL_NO_OPEN_PANEL");
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

// Quit ends the program only after what the last save tells was read: saved from the question
// on quitting, a save that clips says how many samples, and the event loop runs on until the
// notice is dismissed.
TEST_F(AppDelegateTest, QuitEndsAfterTheClippingNoticeOfTheLastSave) {
  const QString path = writeAudio(folder, QStringLiteral("tone.wav"), 4800);
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch({path});
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  auto* document = static_cast<AudioDocument*>(delegate.documentController().documents().front());
  ASSERT_TRUE(waitUntilIdle(*document));
  edit(*document, quar::applyingGain(document->model().content(), 12.0, std::nullopt, std::nullopt));
  QWidget* window = document->windowForSheet();

  QString notice;
  QTimer answer;  // answers the question, then reads the notice
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    for (QMessageBox* question : window->findChildren<QMessageBox*>(QStringLiteral("closeAlert")))
      if (question->isVisible()) clickButton(question, QStringLiteral("Save"));
    for (QMessageBox* alert : visibleTopLevels<QMessageBox>(QStringLiteral("clippingAlert"))) {
      notice = alert->text();
      alert->accept();
    }
  });
  answer.start();
  QTimer::singleShot(0, &delegate, [&] { delegate.quit(); });
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  giveUp.start(20000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(notice.endsWith(QStringLiteral(" samples were clipped in \u201Ctone.wav\u201D."))) << notice.toStdString();
  EXPECT_TRUE(delegate.documentController().documents().empty());
}

// Open Recent lists the recent files above "Clear Menu" each time it opens.
TEST_F(AppDelegateTest, OpenRecentListsTheRecentFilesAndOpensThem) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
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

// The window shown without a document says what it is and how to begin, and New Recording works
// from it as from an editor window.
TEST_F(AppDelegateTest, TheNoDocumentWindowNamesTheProgramAndStartsARecording) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  QMainWindow* window = delegate.noDocumentWindow();
  QStringList texts;
  for (const QLabel* label : window->findChildren<QLabel*>())
    if (label->isVisible()) texts << label->text();
  EXPECT_EQ(texts, (QStringList{"Quarnel", "Open a file (Ctrl+O) or start a new recording (Ctrl+Alt+N)"}));

  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
  ASSERT_EQ(delegate.documentController().documents().size(), 1u);
  auto* recording = static_cast<AudioDocument*>(delegate.documentController().documents().front());
  EXPECT_EQ(recording->fileType(), QStringLiteral("com.microsoft.waveform-audio"));
  EXPECT_EQ(recording->model().content().frameCount(), 0);
  EXPECT_TRUE(recording->model().recorder().isArmed());
  EXPECT_TRUE(recording->windowForSheet()->isVisible());
  EXPECT_FALSE(window->isVisible());
  recording->model().recorder().disarm();
}

// The Window menu ends with every document window, the active one checked; choosing one brings
// it to the front and activates it, from a minimised state too.
TEST_F(AppDelegateTest, TheWindowMenuListsTheDocumentWindowsAndActivatesTheChosenOne) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  AudioDocumentController& controller = delegate.documentController();
  for (int i = 0; i < 3; ++i) controller.newDocument();
  ASSERT_EQ(controller.documents().size(), 3u);
  std::vector<QMainWindow*> windows;
  for (const Document* document : controller.documents())
    windows.push_back(static_cast<QMainWindow*>(document->windowForSheet()));
  editGain(*static_cast<AudioDocument*>(controller.documents()[2]));
  windows[1]->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(windows[1]));

  QMenu* menu = nullptr;
  for (QAction* action : windows[1]->menuBar()->actions())
    if (action->text() == QLatin1String("Window")) menu = action->menu();
  ASSERT_TRUE(menu);
  // The items after the menu's own, as "title" or "title (checked)".
  const auto listed = [menu] {
    Q_EMIT menu->aboutToShow();
    QStringList items;
    bool after = false;
    for (const QAction* action : menu->actions()) {
      if (MenuItem::command(*action) == QLatin1String("bringAllToFront")) {
        after = true;
      } else if (after) {
        const QString mark = action->isChecked() ? QStringLiteral(" (checked)") : QString();
        items << (action->isSeparator() ? QStringLiteral("---") : MenuItem::title(*action) + mark);
      }
    }
    return items;
  };
  EXPECT_EQ(listed(), (QStringList{"---", "Untitled", "Untitled 2 (checked)", "Untitled 3*"}));
  EXPECT_EQ(listed(), (QStringList{"---", "Untitled", "Untitled 2 (checked)", "Untitled 3*"}));

  windows[0]->showMinimized();
  QAction* first = nullptr;
  for (QAction* action : menu->actions())
    if (MenuItem::title(*action) == QLatin1String("Untitled")) first = action;
  ASSERT_TRUE(first && first->isEnabled());
  first->trigger();
  EXPECT_TRUE(QTest::qWaitForWindowActive(windows[0]));
  EXPECT_FALSE(windows[0]->isMinimized());
  EXPECT_EQ(listed(), (QStringList{"---", "Untitled (checked)", "Untitled 2", "Untitled 3*"}));

  // A closed document's window leaves the list.
  static_cast<AudioDocument*>(controller.documents()[2])->markClean();
  const QPointer<Document> third = controller.documents()[2];
  windows[2]->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !third; }));
  EXPECT_EQ(listed(), (QStringList{"---", "Untitled (checked)", "Untitled 2"}));
}

TEST_F(AppDelegateTest, TheFilesOfALaterLaunchOpenEachInItsOwnWindow) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  EXPECT_FALSE(delegate.openPanelTimer().isActive());
  const QString first = writeAudio(folder, QStringLiteral("one.wav"), 4800);
  const QString second = writeAudio(folder, QStringLiteral("two.wav"), 4800);
  delegate.openFromLaterLaunch({first, second});
  AudioDocumentController& controller = delegate.documentController();
  ASSERT_EQ(controller.documents().size(), 2u);
  for (const Document* document : controller.documents()) EXPECT_TRUE(document->windowForSheet()->isVisible());
  EXPECT_NE(controller.documents()[0]->windowForSheet(), controller.documents()[1]->windowForSheet());
  EXPECT_FALSE(delegate.noDocumentWindow()->isVisible());

  // An open file is not opened twice; one that cannot be opened is told.
  delegate.openFromLaterLaunch({first, folder.filePath(QStringLiteral("missing.wav"))});
  EXPECT_EQ(controller.documents().size(), 2u);
  const std::vector<QMessageBox*> alerts = controller.presentedErrors();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts.front()->text(), QStringLiteral("The file \u201Cmissing.wav\u201D couldn\u2019t be opened."));
  alerts.front()->accept();
}

TEST_F(AppDelegateTest, ALaterLaunchWithoutFilesBringsTheFrontWindowForward) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  EXPECT_FALSE(delegate.openPanelTimer().isActive());
  AudioDocumentController& controller = delegate.documentController();
  controller.newDocument();
  controller.newDocument();
  auto* front = static_cast<QMainWindow*>(controller.documents()[1]->windowForSheet());
  auto* back = static_cast<QMainWindow*>(controller.documents()[0]->windowForSheet());
  back->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(back));
  front->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(front));
  front->showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return front->isMinimized(); }));

  delegate.openFromLaterLaunch({});
  EXPECT_TRUE(QTest::qWaitForWindowActive(front));
  EXPECT_FALSE(front->isMinimized());
  EXPECT_EQ(controller.documents().size(), 2u);
}

TEST_F(AppDelegateTest, ALaterLaunchWithoutFilesOrWindowsOffersTheOpenPanel) {
  setenv("QUARNEL_NO_OPEN_PANEL", "", 1);
  launch();
  unsetenv("QUARNEL_NO_OPEN_PANEL");
  AudioDocumentController& controller = delegate.documentController();
  ASSERT_FALSE(controller.openPanel());

  // Only the no-document window is shown: the panel, as Open… would show it, and only one.
  delegate.openFromLaterLaunch({});
  QPointer<QFileDialog> panel = controller.openPanel();
  ASSERT_TRUE(panel);
  EXPECT_TRUE(panel->isVisible());
  delegate.openFromLaterLaunch({});
  EXPECT_EQ(controller.openPanel(), panel);
  EXPECT_EQ(visibleTopLevels<QFileDialog>(QStringLiteral("openPanel")).size(), 1u);
  static_cast<QDialog*>(panel.data())->reject();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !panel; }));

  // With a document window shown, it comes forward instead.
  controller.newDocument();
  QWidget* window = controller.documents().front()->windowForSheet();
  delegate.openFromLaterLaunch({});
  EXPECT_TRUE(QTest::qWaitForWindowActive(window));
  EXPECT_FALSE(controller.openPanel());
}
