#include "widgets/ActionMenu.h"

#include <QAction>
#include <QStyleOptionMenuItem>

#include "widgets/ViewStyle.h"

namespace {

constexpr const char* destructiveProperty = "destructive";

} // namespace

void ActionMenu::setDestructive(QAction* action, bool destructive) {
  action->setProperty(destructiveProperty, destructive);
}

bool ActionMenu::isDestructive(const QAction* action) { return action->property(destructiveProperty).toBool(); }

void ActionMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
  QMenu::initStyleOption(option, action);
  if (!isDestructive(action) || !action->isEnabled() || (option->state & QStyle::State_Selected)) return;
  const QColor red = ViewStyle::destructive.resolved(option->palette);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    option->palette.setColor(role, red);
}
