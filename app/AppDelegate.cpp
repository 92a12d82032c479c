#include "AppDelegate.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "document/AudioDocumentController.h"
#include "platform/CommandRouter.h"
#include "widgets/ToneLabel.h"
#include "window/MainMenu.h"

namespace {

// The rows of the help alert, one to three entries each.
const std::vector<std::vector<const char*>> shortcutEntries{
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

// The rows as a table whose columns line up in any font: a row's last entry spans the columns
// left over, and no entry wraps.
QString shortcutTable(const std::vector<QStringList>& rows) {
  qsizetype columns = 0;
  for (const QStringList& row : rows) columns = std::max(columns, row.size());
  QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">");
  for (const QStringList& row : rows) {
    html += QStringLiteral("<tr>");
    for (qsizetype i = 0; i < row.size(); ++i) {
      const qsizetype span = i + 1 == row.size() ? columns - i : 1;
      html += QStringLiteral("<td colspan=\"%1\" style=\"white-space: nowrap; padding: 1px 24px 1px 0\">%2</td>")
                  .arg(span)
                  .arg(row[i].toHtmlEscaped());
    }
    html += QStringLiteral("</tr>");
  }
  return html + QStringLiteral("</table>");
}

// What the no-document window shows: the program's name and how to begin.
QWidget* makeNoDocumentView() {
  auto* view = new QWidget;
  auto* layout = new QVBoxLayout(view);
  layout->addStretch();
  auto* name = new ToneLabel(QStringLiteral("Quarnel"), ViewStyle::font(20, QFont::Bold), ToneLabel::Tone::primary, view);
  auto* hint = new ToneLabel(QStringLiteral("Open a file (Ctrl+O) or start a new recording (Ctrl+Alt+N)"),
                             ViewStyle::TextStyle::body, ToneLabel::Tone::secondary, view);
  for (ToneLabel* label : {name, hint}) {
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  }
  layout->addStretch();
  return view;
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

void AppDelegate::startLaunching() {
  documentController_ = std::make_unique<AudioDocumentController>();
  connect(documentController_.get(), &DocumentController::documentsChanged, this, &AppDelegate::documentsChanged);
  CommandRouter::setApplicationResponder(&commands_);
  noDocumentWindow_ = std::make_unique<QMainWindow>();
  noDocumentWindow_->setObjectName(QStringLiteral("noDocumentWindow"));
  noDocumentWindow_->setWindowTitle(QStringLiteral("Quarnel"));
  noDocumentWindow_->setCentralWidget(makeNoDocumentView());
  noDocumentWindow_->resize(480, 160);
  MainMenu::build(noDocumentWindow_->menuBar());
  new CommandRouter(noDocumentWindow_.get(), {});
  noDocumentWindow_->installEventFilter(this);
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
    if (!focused) return;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->windowHandle() == focused) frontWindow_ = window;
  });
}

void AppDelegate::openFiles(const QStringList& paths) {
  for (const QString& path : paths)
    documentController_->openDocumentWithContentsOfUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), true);
}

void AppDelegate::newStereoDocument() { documentController_->newDocument(); }

void AppDelegate::finishLaunching() {
  documentsChanged();
  // Set by tests that launch the application: no window is brought forward, no panel offered.
  if (std::getenv("QUARNEL_NO_OPEN_PANEL")) return;
  if (noDocumentWindow_->isVisible()) noDocumentWindow_->activateWindow();
  documentController_->bringPresentedErrorsToFront();
  openPanelTimer_.start();
}

void AppDelegate::openFromLaterLaunch(const QStringList& paths) {
  if (!paths.isEmpty()) {
    openFiles(paths);
    documentController_->bringPresentedErrorsToFront();
    return;
  }
  std::vector<QWidget*> windows;
  for (QWidget* window : MainMenu::documentWindows())
    if (window->isVisible()) windows.push_back(window);
  if (windows.empty()) {
    // No document window to show: the open panel, as Open… would.
    if (noDocumentWindow_->isVisible()) MainMenu::bringForward(*noDocumentWindow_);
    showOpenPanel(false);
    return;
  }
  const bool frontShown = std::find(windows.begin(), windows.end(), frontWindow_.data()) != windows.end();
  MainMenu::bringForward(frontShown ? *frontWindow_ : *windows.front());
}

void AppDelegate::offerOpenPanel() { showOpenPanel(true); }

void AppDelegate::showOpenPanel(bool onlyWithoutDocuments) {
  if (!documentController_->presentedErrors().empty()) {
    connect(
        documentController_.get(), &DocumentController::presentedErrorsDismissed, this,
        [this, onlyWithoutDocuments] { showOpenPanel(onlyWithoutDocuments); }, Qt::SingleShotConnection);
    return;
  }
  if (!onlyWithoutDocuments || documentController_->documents().empty()) documentController_->openDocument();
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

std::vector<QStringList> AppDelegate::shortcutRows() {
  std::vector<QStringList> rows;
  for (const std::vector<const char*>& entries : shortcutEntries) {
    QStringList& row = rows.emplace_back();
    for (const char* entry : entries) row << QString::fromUtf8(entry);
  }
  return rows;
}

std::unique_ptr<QMessageBox> AppDelegate::helpAlert() {
  auto alert = std::make_unique<QMessageBox>();
  alert->setObjectName(QStringLiteral("helpAlert"));
  alert->setWindowTitle(QStringLiteral("Quarnel"));
  alert->setText(QStringLiteral("Quarnel Keyboard Shortcuts"));
  alert->setTextFormat(Qt::RichText);
  alert->setInformativeText(shortcutTable(shortcutRows()));
  return alert;
}

void AppDelegate::showHelp() { helpAlert()->exec(); }

void AppDelegate::quit() {
  documentController_->closeAllDocuments([guard = QPointer<AppDelegate>(this)](bool closed) {
    // What the last saves tell (how many samples they clipped) appears once the current event
    // is done; the program ends after it was read.
    if (closed && guard) QTimer::singleShot(0, guard, [guard] { guard->quitOnceAlertsAreRead(); });
  });
}

void AppDelegate::quitOnceAlertsAreRead() {
  if (!documentController_->presentedErrors().empty()) {
    connect(documentController_.get(), &DocumentController::presentedErrorsDismissed, this,
            &AppDelegate::quitOnceAlertsAreRead, Qt::SingleShotConnection);
    return;
  }
  QApplication::quit();
}

void AppDelegate::showAbout() {
  auto* panel = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Quarnel"), QStringLiteral("Quarnel"),
                                QMessageBox::Ok);
  panel->setObjectName(QStringLiteral("aboutPanel"));
  panel->setIconPixmap(QApplication::windowIcon().pixmap(64));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->show();
}
