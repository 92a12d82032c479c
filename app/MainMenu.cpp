#include "MainMenu.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QPointer>

#include "AppDelegate.h"
#include "document/AudioDocument.h"
#include "platform/DocumentController.h"

namespace {

QAction* addItem(QMenu* menu, const QString& title, const QString& keys, std::function<void()> action) {
  QAction* item = menu->addAction(title);
  if (!keys.isEmpty()) item->setShortcut(QKeySequence(keys));
  QObject::connect(item, &QAction::triggered, item, std::move(action));
  return item;
}

// Open Recent: the recent files, newest first, then "Clear Menu".
void fillRecentMenu(QMenu* menu) {
  menu->clear();
  DocumentController* controller = DocumentController::shared();
  if (!controller) return;
  for (const QUrl& url : controller->recentDocumentUrls())
    addItem(menu, QFileInfo(url.toLocalFile()).fileName(), {}, [url] {
      if (DocumentController* shared = DocumentController::shared()) shared->openDocumentWithContentsOfUrl(url, true);
    });
  menu->addSeparator();
  addItem(menu, QStringLiteral("Clear Menu"), {}, [] {
    if (DocumentController* shared = DocumentController::shared()) shared->clearRecentDocuments();
  });
}

} // namespace

namespace MainMenu {

void build(QMenuBar* bar, AudioDocument* document) {
  const auto controller = [] { return DocumentController::shared(); };
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  addItem(file, QStringLiteral("New"), QStringLiteral("Ctrl+N"), [controller] {
    if (controller()) controller()->newDocument();
  });
  addItem(file, QStringLiteral("Open\u2026"), QStringLiteral("Ctrl+O"), [controller] {
    if (controller()) controller()->openDocument();
  });
  QMenu* recent = file->addMenu(QStringLiteral("Open Recent"));
  QObject::connect(recent, &QMenu::aboutToShow, recent, [recent] { fillRecentMenu(recent); });
  file->addSeparator();

  const QPointer<AudioDocument> target(document);
  const auto documentItem = [file, target](const QString& title, const QString& keys, void (*action)(AudioDocument&)) {
    QAction* item = addItem(file, title, keys, [target, action] {
      if (target) action(*target);
    });
    item->setEnabled(target != nullptr);
  };
  documentItem(QStringLiteral("Close"), QStringLiteral("Ctrl+W"),
               [](AudioDocument& d) { d.shouldCloseWindowController(d.windowControllers().front().get()); });
  documentItem(QStringLiteral("Save"), QStringLiteral("Ctrl+S"), [](AudioDocument& d) { d.saveDocument(); });
  documentItem(QStringLiteral("Save As\u2026"), QStringLiteral("Ctrl+Shift+S"), [](AudioDocument& d) { d.saveDocumentAs(); });
  documentItem(QStringLiteral("Export Selection\u2026"), QStringLiteral("Ctrl+Shift+E"),
               [](AudioDocument& d) { d.exportSelection(); });
  documentItem(QStringLiteral("Revert to Saved"), {}, [](AudioDocument& d) { d.revertDocumentToSaved(); });
  file->addSeparator();
  addItem(file, QStringLiteral("Quit Quarnel"), QStringLiteral("Ctrl+Q"), [controller] {
    if (!controller()) return QApplication::quit();
    controller()->closeAllDocuments([](bool closed) {
      if (closed) QApplication::quit();
    });
  });

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  addItem(help, QStringLiteral("Quarnel Shortcuts"), QStringLiteral("Ctrl+?"), [] { AppDelegate::showHelp(); });
}

} // namespace MainMenu
