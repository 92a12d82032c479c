#include "window/EditorCommands.h"

#include <map>

#include "window/MainMenu.h"

namespace {

template <class Handler>
bool sameHandler(const Handler& a, const Handler& b) {
  return a.perform == b.perform && a.enabled == b.enabled;
}

// Only a command's first record is looked up: the items of one command (a channel, a tab, an
// effect kind) must share its handlers and rules.
void index(const std::vector<MainMenu::Item>& items, std::map<QString, const Command*>& found) {
  for (const MainMenu::Item& item : items) {
    const Command& command = item.command;
    if (!command.identifier.isEmpty()) {
      const Command* first = found.try_emplace(command.identifier, &command).first->second;
      Q_ASSERT(sameHandler(first->editor, command.editor) && sameHandler(first->document, command.document) &&
               sameHandler(first->application, command.application));
      (void)first;
    }
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
