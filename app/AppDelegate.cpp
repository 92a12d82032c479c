#include "AppDelegate.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include <cstdlib>
#include <vector>

#include "MainMenu.h"
#include "document/AudioDocumentController.h"
#include "platform/Document.h"

namespace {

// The key lines of the help alert; blanks between entries as they are.
const char* const shortcutLines[] = {
    "Space \u2014 Play / Pause        Shift+Space \u2014 Play Selection",
    "Ctrl+L \u2014 Toggle Loop            \u21A9 \u2014 Go to Start",
    "\u2190 / \u2192 \u2014 Move cursor         Shift+\u2190 / Shift+\u2192 \u2014 Extend selection",
    "Ctrl+= / Ctrl+- \u2014 Zoom in / out     Ctrl+0 \u2014 Zoom to fit     Ctrl+E \u2014 Zoom to selection",
    "Alt+drag \u2014 Select a single channel",
    "M \u2014 Add marker              Ctrl+Alt+V \u2014 Paste Mix",
    "Loudness lane: click the line to add a gain point, drag to move it",
    "Shift+drag \u2014 raise/lower a whole section   Alt+click \u2014 delete point",
    "Alt+scroll or Ctrl+Alt+[ ] \u2014 zoom the gain scale   Drag the lane's top edge to resize",
    "Pinch or Ctrl+scroll \u2014 Zoom    Scroll \u2014 Pan",
};

std::vector<QWidget*> visibleMainWindows() {
  std::vector<QWidget*> windows;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(window) && window->isVisible()) windows.push_back(window);
  return windows;
}

} // namespace

AppDelegate::AppDelegate() {
  openPanelTimer_.setSingleShot(true);
  openPanelTimer_.setInterval(400);
  connect(&openPanelTimer_, &QTimer::timeout, this, &AppDelegate::offerOpenPanel);
}

AppDelegate::~AppDelegate() {
  CommandRouter::setApplicationResponder(nullptr);
  // Documents go before the window that stands in for the menu bar.
  documentController_.reset();
}

void AppDelegate::applicationWillFinishLaunching() {
  documentController_ = std::make_unique<AudioDocumentController>();
  connect(documentController_.get(), &DocumentController::documentsChanged, this, &AppDelegate::documentsChanged);
  CommandRouter::setApplicationResponder(this);
  noDocumentWindow_ = std::make_unique<QMainWindow>();
  noDocumentWindow_->setObjectName(QStringLiteral("noDocumentWindow"));
  noDocumentWindow_->setWindowTitle(QStringLiteral("Quarnel"));
  noDocumentWindow_->resize(480, 120);
  MainMenu::build(noDocumentWindow_->menuBar());
  new CommandRouter(noDocumentWindow_.get(), {});
  noDocumentWindow_->installEventFilter(this);
}

void AppDelegate::openFiles(const QStringList& paths) {
  for (const QString& path : paths)
    documentController_->openDocumentWithContentsOfUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), true);
}

void AppDelegate::applicationDidFinishLaunching() {
  documentsChanged();
  if (std::getenv("XCTestConfigurationFilePath")) return;
  if (noDocumentWindow_->isVisible()) noDocumentWindow_->activateWindow();
  documentController_->bringPresentedErrorsToFront();
  openPanelTimer_.start();
}

void AppDelegate::offerOpenPanel() {
  if (!documentController_->presentedErrors().empty()) {
    connect(documentController_.get(), &DocumentController::presentedErrorsDismissed, this, &AppDelegate::offerOpenPanel,
            Qt::SingleShotConnection);
    return;
  }
  if (documentController_->documents().empty()) documentController_->openDocument();
}

void AppDelegate::documentsChanged() {
  const bool wasVisible = noDocumentWindow_->isVisible();
  noDocumentWindow_->setVisible(documentController_->documents().empty());
  // A window that appears does not cover the errors that explain why it is empty.
  if (!wasVisible && noDocumentWindow_->isVisible()) documentController_->bringPresentedErrorsToFront();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  // Closing the no-document window quits, as there is nothing else to show.
  if (watched == noDocumentWindow_.get() && event->type() == QEvent::Close) QApplication::quit();
  return QObject::eventFilter(watched, event);
}

std::unique_ptr<QMessageBox> AppDelegate::helpAlert() {
  QStringList lines;
  for (const char* line : shortcutLines) lines << QString::fromUtf8(line);
  auto alert = std::make_unique<QMessageBox>();
  alert->setObjectName(QStringLiteral("helpAlert"));
  alert->setWindowTitle(QStringLiteral("Quarnel"));
  alert->setText(QStringLiteral("Quarnel Keyboard Shortcuts"));
  alert->setInformativeText(lines.join(QLatin1Char('\n')));
  return alert;
}

void AppDelegate::showHelp() { helpAlert()->exec(); }

bool AppDelegate::respondsTo(const QString& command) const {
  static const QStringList commands{
      "newDocument", "openDocument", "openRecentDocument", "clearRecentDocuments", "terminate",
      "orderFrontStandardAboutPanel", "hide", "arrangeInFront", "showHelp",
  };
  return commands.contains(command);
}

MenuItemState AppDelegate::validateMenuItem(const QAction& item) {
  if (MenuItem::command(item) == QLatin1String("clearRecentDocuments"))
    return {!documentController_->recentDocumentUrls().isEmpty()};
  return {};
}

void AppDelegate::perform(const QAction& item) {
  const QString command = MenuItem::command(item);
  if (command == QLatin1String("newDocument")) documentController_->newDocument();
  if (command == QLatin1String("openDocument")) documentController_->openDocument();
  if (command == QLatin1String("openRecentDocument"))
    documentController_->openDocumentWithContentsOfUrl(MenuItem::representedObject(item).toUrl(), true);
  if (command == QLatin1String("clearRecentDocuments")) documentController_->clearRecentDocuments();
  if (command == QLatin1String("terminate")) terminate();
  if (command == QLatin1String("orderFrontStandardAboutPanel")) showAboutPanel();
  if (command == QLatin1String("showHelp")) showHelp();
  // The desktop has no hiding of applications: their windows go to the task bar instead.
  if (command == QLatin1String("hide"))
    for (QWidget* window : visibleMainWindows()) window->showMinimized();
  if (command == QLatin1String("arrangeInFront"))
    for (QWidget* window : visibleMainWindows()) window->raise();
}

void AppDelegate::terminate() {
  documentController_->closeAllDocuments([](bool closed) {
    if (closed) QApplication::quit();
  });
}

void AppDelegate::showAboutPanel() {
  auto* panel = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Quarnel"), QStringLiteral("Quarnel"),
                                QMessageBox::Ok);
  panel->setObjectName(QStringLiteral("aboutPanel"));
  panel->setIconPixmap(QApplication::windowIcon().pixmap(64));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->show();
}
