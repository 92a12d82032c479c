// EditorCommands: the commands of the menu bar as records. Each record is one menu item: the
// command's identifier, its title, key, argument and symbol and, for a command that the editor
// window carries out, its handler and enabled rule. The menu table (MainMenu::table()) holds
// them all; the editor window validates and performs its commands through them. GUI thread
// only.
#pragma once

#include <QKeySequence>
#include <QString>

#include "platform/CommandRouter.h"

class EditorModel;
class EditorWindowController;
class UndoManager;

// What the enabled rules read, taken as an item is validated.
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

struct Command {
  using Perform = void (*)(EditorWindowController& window, const CommandArgument& argument);
  using Rule = CommandState (*)(const EditorCommandContext& context, const CommandArgument& argument);

  QString identifier;
  QString title;
  QKeySequence key;
  CommandArgument argument;
  // The icon's symbol name; empty for none.
  QString symbol;
  // Null for a command that the document or the application takes.
  Perform perform = nullptr;
  Rule enabled = nullptr;

  CommandCall call() const { return {identifier, argument}; }
};

namespace EditorCommands {

// The first record of the command in the menu table that the editor window carries out; null
// for any other identifier. Records of one command share their handler and rule.
const Command* find(const QString& identifier);
// The argument as a number; `fallback` when it is none.
int number(const CommandArgument& argument, int fallback);

} // namespace EditorCommands
