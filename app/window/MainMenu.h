// MainMenu: the menu bar of every window, built from one table: the application menu
// ("Quarnel"), File, Edit, View, Transport, Process, Effects, Window and Help. Items send
// commands by name through the window's CommandRouter; a key that two items have belongs to the
// first in menu order, and the second neither takes nor shows it. Open Recent lists the recent
// files and the Window menu ends with the document windows, each time they open; the LV2
// Plug-ins submenu fills itself from AudioUnitLibrary the first time it opens. GUI thread only.
#pragma once

#include <QKeySequence>
#include <QString>

#include <vector>

#include "effects/AudioUnitLibrary.h"

class QMenu;
class QMenuBar;
class QWidget;

namespace MainMenu {

// One entry of a menu.
struct Item {
  enum class Kind {
    item,       // sends `command` with `tag`
    separator,
    section,    // a title heading the items below it
    submenu,    // holds `items`; disabled when it has none
    recentDocuments,  // the Open Recent submenu: the recent files above `items`
    plugins,    // the LV2 plug-in submenu, filled when it first opens
    windows,    // the document windows, listed anew each time the menu opens
  };
  Kind kind = Kind::item;
  QString title;
  QString command;
  QKeySequence key;
  int tag = 0;
  // The icon's symbol name; empty for none.
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
// Fills the LV2 plug-in submenu: one submenu per manufacturer, one item per plug-in sending
// "addAudioUnitEffect" with the plug-in's id as represented object; without any plug-in the
// disabled "No LV2 plug-in effects installed".
void fillAudioUnitMenu(QMenu& menu, const std::vector<AudioUnitLibrary::Group>& groups);
// Puts a separator and one item per document window (its title as shown, sending
// "makeKeyAndOrderFront" with the window as represented object) at the end of the menu, in place
// of those of an earlier call; none without a window.
void fillWindowList(QMenu& menu, const std::vector<QWidget*>& windows);

} // namespace MainMenu
