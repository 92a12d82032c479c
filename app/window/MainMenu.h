// MainMenu: the menu bar of every window, built from one table: the application menu
// ("Quarnel"), File, Edit, View, Transport, Process, Effects, Window and Help, whose items are
// the command records (EditorCommands.h). Items send their calls through the window's
// CommandRouter; a key that two items have belongs to the first in menu order, and the second
// neither takes nor shows it. Open Recent lists the recent files and the Window menu ends with
// the document windows, each time they open; the LV2 Plug-ins submenu fills itself from
// AudioUnitLibrary the first time it opens. The timeline's context menu offers commands of the
// table too, under their titles there. GUI thread only.
#pragma once

#include <QString>

#include <vector>

#include "effects/AudioUnitLibrary.h"
#include "views/TimelineView.h"
#include "window/EditorCommands.h"

class CommandRouter;
class QMenu;
class QMenuBar;
class QWidget;

namespace MainMenu {

// One entry of a menu.
struct Item {
  enum class Kind {
    item,       // sends the call of `command`
    separator,
    section,    // a title heading the items below it
    submenu,    // holds `items`; disabled when it has none
    recentDocuments,  // the Open Recent submenu: the recent files above `items`
    plugins,    // the LV2 plug-in submenu, filled when it first opens
    windows,    // the document windows, listed anew each time the menu opens
  };
  Kind kind = Kind::item;
  // An item's command; for an Open Recent, plug-ins or windows entry, the command of the items
  // it makes as it opens.
  Command command;
  // A section's or submenu's title and symbol.
  QString title;
  QString symbol;
  std::vector<Item> items;
};

struct Menu {
  QString title;
  std::vector<Item> items;
};

// The nine menus in menu bar order.
const std::vector<Menu>& table();
// Adds the menus of the table to the bar.
void build(QMenuBar* bar);
// The timeline's context menu: the window's editing commands, the view's marker items and the
// window's zoom commands, each command under its title in the table and sent through the menu
// bar's item of `router`'s window, validated as the menu is built.
TimelineView::ContextEntries timelineMenu(CommandRouter& router);
// Fills the LV2 plug-in submenu: one submenu per manufacturer, one item per plug-in sending
// `command` ("addAudioUnitEffect" in the table) with the plug-in's id; without any plug-in the
// disabled "No LV2 plug-in effects installed".
void fillAudioUnitMenu(QMenu& menu, const std::vector<AudioUnitLibrary::Group>& groups, const QString& command);
// Puts a separator and one item per document window (its title as shown, sending `command`,
// "showWindow" in the table, with the window) at the end of the menu, in place of those of an
// earlier call; none without a window.
void fillWindowList(QMenu& menu, const std::vector<QWidget*>& windows, const QString& command);
// The windows of the open documents.
std::vector<QWidget*> documentWindows();
// The application's shown main windows (the document windows and the no-document window): what
// Hide, Show All and Bring All to Front act on.
std::vector<QWidget*> visibleWindows();
// Restores the window when minimised, raises it and activates it.
void bringForward(QWidget& window);

} // namespace MainMenu
