#include "window/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <set>

#include "platform/CommandRouter.h"
#include "platform/Document.h"
#include "platform/DocumentController.h"
#include "platform/Icons.h"
#include "platform/WindowController.h"

using Kind = MainMenu::Item::Kind;
using MainMenu::Item;

namespace {

QAction* addCommand(QMenu& menu, const QString& title, const CommandCall& call) {
  QAction* action = MenuItem::make(call, title, &menu);
  menu.addAction(action);
  return action;
}

// The recent files, newest first, each sending `command` with its URL, above a separator and
// the submenu's own items.
void fillRecentDocuments(QMenu& menu, const QString& command) {
  for (QAction* action : menu.actions())
    if (MenuItem::command(*action) == command || action->isSeparator()) delete action;
  DocumentController* controller = DocumentController::shared();
  const QList<QUrl> urls = controller ? controller->recentDocumentUrls() : QList<QUrl>();
  if (urls.isEmpty()) return;
  QAction* first = menu.actions().value(0);
  for (const QUrl& url : urls)
    menu.insertAction(first, MenuItem::make({command, url}, QFileInfo(url.toLocalFile()).fileName(), &menu));
  menu.insertSeparator(first);
}

void addItems(QMenu& menu, const std::vector<Item>& items, std::set<QKeySequence>& keysTaken) {
  for (const Item& entry : items) {
    switch (entry.kind) {
    case Kind::separator: menu.addSeparator(); break;
    case Kind::windows:
      QObject::connect(&menu, &QMenu::aboutToShow, &menu, [&menu, command = entry.command.identifier] {
        MainMenu::fillWindowList(menu, MainMenu::documentWindows(), command);
      });
      break;
    case Kind::section: menu.addSection(entry.title); break;
    case Kind::submenu:
    case Kind::recentDocuments:
    case Kind::plugins: {
      QMenu* submenu = menu.addMenu(Icons::tinted(entry.symbol), MenuItem::escaped(entry.title));
      addItems(*submenu, entry.items, keysTaken);
      if (entry.kind == Kind::recentDocuments)
        QObject::connect(submenu, &QMenu::aboutToShow, submenu,
                         [submenu, command = entry.command.identifier] { fillRecentDocuments(*submenu, command); });
      else if (entry.kind == Kind::plugins)
        QObject::connect(submenu, &QMenu::aboutToShow, submenu, [submenu, command = entry.command.identifier] {
          if (submenu->actions().isEmpty())
            MainMenu::fillAudioUnitMenu(*submenu, AudioUnitLibrary::byManufacturer(), command);
        });
      else
        submenu->menuAction()->setEnabled(!entry.items.empty());
      break;
    }
    case Kind::item: {
      const Command& command = entry.command;
      QAction* action = addCommand(menu, command.title, command.call());
      if (!command.symbol.isEmpty()) action->setIcon(Icons::tinted(command.symbol));
      // A key reaches only the first item that has it: a later item shows none.
      if (!command.key.isEmpty() && keysTaken.insert(command.key).second) action->setShortcut(command.key);
      break;
    }
    }
  }
}

} // namespace

namespace MainMenu {

void build(QMenuBar* bar) {
  std::set<QKeySequence> keysTaken;
  for (const Menu& menu : table()) addItems(*bar->addMenu(MenuItem::escaped(menu.title)), menu.items, keysTaken);
}

TimelineView::ContextEntries timelineMenu(CommandRouter& router) {
  using Entry = TimelineView::ContextEntry;
  const auto command = [&router](const char* identifier) {
    const QString name = QString::fromLatin1(identifier);
    return Entry{Entry::Kind::command, EditorCommands::find(name)->title, [router = &router, name] {
                   QAction* item = router->item(name);
                   if (item) router->validate(*item);
                   return item;
                 }};
  };
  const Entry separator{Entry::Kind::separator, {}, {}};
  const Entry markerItems{Entry::Kind::markerItems, {}, {}};
  return {
      command("cut"), command("copy"), command("paste"), command("pasteMix"), command("delete"),
      separator,
      command("trimToSelection"), command("silenceSelection"), command("fadeIn"), command("fadeOut"),
      separator,
      markerItems,
      separator,
      command("zoomToSelection"), command("zoomToFit"),
  };
}

void fillAudioUnitMenu(QMenu& menu, const std::vector<AudioUnitLibrary::Group>& groups, const QString& command) {
  if (groups.empty()) {
    menu.addAction(QStringLiteral("No LV2 plug-in effects installed"))->setEnabled(false);
    return;
  }
  for (const AudioUnitLibrary::Group& group : groups) {
    QMenu* manufacturer = menu.addMenu(MenuItem::escaped(QString::fromStdString(group.manufacturer)));
    for (const quar::AudioUnitDescriptor& descriptor : group.descriptors)
      addCommand(*manufacturer, QString::fromStdString(descriptor.name), {command, QString::fromStdString(descriptor.id())});
  }
}

void fillWindowList(QMenu& menu, const std::vector<QWidget*>& windows, const QString& command) {
  const QString separatorName = QStringLiteral("windowListSeparator");
  for (QAction* action : menu.actions())
    if (MenuItem::command(*action) == command || action->objectName() == separatorName) delete action;
  if (windows.empty()) return;
  menu.addSeparator()->setObjectName(separatorName);
  for (QWidget* window : windows) {
    // The title as the title bar shows it: "[*]" marks the edited state.
    QString title = window->windowTitle();
    title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
    addCommand(menu, title, {command, QPointer<QObject>(window)});
  }
}

std::vector<QWidget*> documentWindows() {
  std::vector<QWidget*> windows;
  if (const DocumentController* controller = DocumentController::shared())
    for (const WindowController* window : controller->windowControllers()) windows.push_back(window->window());
  return windows;
}

std::vector<QWidget*> visibleWindows() {
  std::vector<QWidget*> windows;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(window) && window->isVisible()) windows.push_back(window);
  return windows;
}

void bringForward(QWidget& window) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.raise();
  window.activateWindow();
}

} // namespace MainMenu
