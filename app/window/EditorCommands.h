// EditorCommands: the commands of the menu bar as records. Each record is one menu item: the
// command's identifier, its title, key, argument and symbol and, for each link of a window's
// command chain that takes the command, that link's handler and enabled rule: the editor
// window's, its document's or the application's. The menu table (MainMenu::table()) holds them
// all, with one record for each command whose items menus make as they open (a recent file, a
// document window, a plug-in). The links are generic lookups over the table: the editor window
// (EditorWindowController), DocumentCommands over its AudioDocument and, last in every chain,
// ApplicationCommands over the Application. GUI thread only.
#pragma once

#include <QKeySequence>
#include <QString>

#include "platform/CommandRouter.h"

class AudioDocument;
class EditorModel;
class EditorWindowController;
class UndoManager;

// What the enabled rules of the editor window's commands read, taken as an item is validated.
struct EditorCommandContext {
  const EditorWindowController& window;
  EditorModel& model;
  const UndoManager& undo;
  bool hasAudio;
  // No job runs and no take is being recorded: the document may change.
  bool idle;
  bool hasSelection;
  bool clipboardHasAudio;
  int channels;
};

// What only the application does for its commands; the others reach what they need themselves
// (the shared document controller, the application's windows, the editor window's statics).
class Application {
public:
  // Closes every document as its window would, then quits.
  virtual void quit() = 0;
  virtual void showAbout() = 0;
  // The keyboard-shortcuts help, shown modally.
  virtual void showHelp() = 0;

protected:
  ~Application() = default;
};

// One link's handler of a command, carried out on `Target`, and its enabled rule, read from
// `Context`; both null when that link does not take the command.
template <class Target, class Context = Target>
struct CommandHandler {
  using Perform = void (*)(Target& target, const CommandArgument& argument);
  using Rule = CommandState (*)(const Context& context, const CommandArgument& argument);

  Perform perform = nullptr;
  Rule enabled = nullptr;
};

using EditorHandler = CommandHandler<EditorWindowController, EditorCommandContext>;
using DocumentHandler = CommandHandler<AudioDocument>;
using ApplicationHandler = CommandHandler<Application>;

struct Command {
  QString identifier;
  QString title;
  QKeySequence key;
  CommandArgument argument;
  // The icon's symbol name; empty for none.
  QString symbol;
  // The links that take the command, first in the chain first: none for a command that no
  // link takes (its item stays disabled).
  EditorHandler editor;
  DocumentHandler document;
  ApplicationHandler application;

  CommandCall call() const { return {identifier, argument}; }
};

namespace EditorCommands {

// The first record of the command in the menu table; null for an identifier it has none of.
// Records of one command share their handlers and rules.
const Command* find(const QString& identifier);
// The handler that `link` (&Command::editor, ...) has for the command; null when it has none.
template <auto Command::*link>
const auto* handler(const QString& identifier) {
  const Command* command = find(identifier);
  return command && (command->*link).perform ? &(command->*link) : nullptr;
}
// The argument as a number; `fallback` when it is none.
int number(const CommandArgument& argument, int fallback);

} // namespace EditorCommands

// A link of the command chain over `target`: it takes the commands of the menu table whose
// records have a handler for it, validated by their rules.
template <class Target, CommandHandler<Target> Command::*link>
class CommandTableResponder final : public CommandResponder {
public:
  explicit CommandTableResponder(Target& target) : target_(target) {}

  bool respondsTo(const QString& identifier) const override { return EditorCommands::handler<link>(identifier); }
  CommandState state(const CommandCall& call) override {
    const auto* handler = EditorCommands::handler<link>(call.identifier);
    return handler ? handler->enabled(target_, call.argument) : CommandState{false};
  }
  void perform(const CommandCall& call) override {
    if (const auto* handler = EditorCommands::handler<link>(call.identifier)) handler->perform(target_, call.argument);
  }

private:
  Target& target_;
};

// The window's document's link: Save, Save As… and Revert to Saved.
using DocumentCommands = CommandTableResponder<AudioDocument, &Command::document>;
// The application's link, last in every chain: New, Open…, Quit, the Window menu's windows, ...
using ApplicationCommands = CommandTableResponder<Application, &Command::application>;
