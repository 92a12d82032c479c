// ActionMenu: a menu that draws the items marked destructive (removing or clearing something)
// in the theme's destructive colour; selected and disabled items keep the menu's usual colours.
// GUI thread only.
#pragma once

#include <QMenu>

class ActionMenu final : public QMenu {
  Q_OBJECT
public:
  using QMenu::QMenu;

  static void setDestructive(QAction* action, bool destructive = true);
  static bool isDestructive(const QAction* action);

protected:
  void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
};
