#include "window/EditorCommands.h"

#include <map>

#include "window/MainMenu.h"

namespace {

void index(const std::vector<MainMenu::Item>& items, std::map<QString, const Command*>& found) {
  for (const MainMenu::Item& item : items) {
    if (!item.command.identifier.isEmpty()) found.try_emplace(item.command.identifier, &item.command);
    index(item.items, found);
  }
}

} // namespace

namespace EditorCommands {

const Command* find(const QString& identifier) {
  static const std::map<QString, const Command*> commands = [] {
    std::map<QString, const Command*> found;
    for (const MainMenu::Menu& menu : MainMenu::table()) index(menu.items, found);
    return found;
  }();
  const auto it = commands.find(identifier);
  return it == commands.end() ? nullptr : it->second;
}

int number(const CommandArgument& argument, int fallback) {
  const int* value = std::get_if<int>(&argument);
  return value ? *value : fallback;
}

} // namespace EditorCommands
