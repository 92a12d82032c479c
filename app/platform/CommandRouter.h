// CommandRouter: the command chain of one window's menu bar. Each menu item sends a command
// call (an identifier, "cut", "zoomIn", ..., and a typed argument); it has no target. The router
// sends the call to the first responder that takes the command: the window's focused text field
// (undo, redo, cut, copy, paste, delete and select all), then the window's own responders in
// order (an editor window's controller, then its document's commands), then the application's
// responder.
// An item that no responder takes is disabled. Items are validated (enabled state, title, check
// mark) when a menu is about to show and on every shortcut override in the window, so that a key
// reaches a command only while its item is enabled; an item's call is validated again before it
// is performed. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class TextFieldResponder;

// What an item passes to its command besides the identifier: nothing, a number (a channel, an
// inspector tab, a time format, an effect kind's index, a zoom step), a plug-in's id, a recent
// file or a listed window (compared, never followed).
using CommandArgument = std::variant<std::monostate, int, QString, QUrl, QPointer<QObject>>;

// What an item sends.
struct CommandCall {
  CommandCall(QString identifier, CommandArgument argument = {})
      : identifier(std::move(identifier)), argument(std::move(argument)) {}

  QString identifier;
  CommandArgument argument;
};

// The menu items that send command calls.
namespace MenuItem {

// An item sending `call` under `title` (shown as given, "&" included), named after the command.
QAction* make(const CommandCall& call, const QString& title, QObject* parent);
// The item's call; null for an item without one (a submenu's item, a text-only item).
const CommandCall* call(const QAction& item);
// The identifier of the item's command; empty without one.
QString command(const QAction& item);
// A title written for a menu so that it shows as given, "&" included (never a mnemonic).
QString escaped(QString title);
// The title as shown, "&" included (never a mnemonic).
void setTitle(QAction& item, QString title);
QString title(const QAction& item);

} // namespace MenuItem

// How a validated item shows: enabled or not and, where given, its title and check mark.
struct CommandState {
  CommandState(bool enabled = true, std::optional<QString> title = {}, std::optional<bool> checked = {})
      : enabled(enabled), title(std::move(title)), checked(checked) {}

  bool enabled;
  std::optional<QString> title;
  std::optional<bool> checked;
};

// One link of the chain.
class CommandResponder {
public:
  // Whether this responder takes the command at all, whatever its state.
  virtual bool respondsTo(const QString& identifier) const = 0;
  // The state of an item sending a call whose command this responder takes.
  virtual CommandState state(const CommandCall& call) = 0;
  // Carries out the call (only while its item validates as enabled).
  virtual void perform(const CommandCall& call) = 0;

protected:
  ~CommandResponder() = default;
};

class CommandRouter final : public QObject {
  Q_OBJECT
public:
  // Routes the items of `window`'s menu bar (built before) through `responders`, which come
  // after the focused text field and before the application's responder. The router is a child
  // of the window.
  CommandRouter(QMainWindow* window, std::vector<CommandResponder*> responders);
  ~CommandRouter() override;

  // The last link of every chain; none (null) leaves the application's commands disabled.
  static void setApplicationResponder(CommandResponder* responder);

  // The responder that takes the command now; null when none does.
  CommandResponder* responderFor(const QString& identifier) const;
  // Validates the item: enabled state, title and check mark; returns whether it is enabled.
  // An item without a command is left as it is.
  bool validate(QAction& item);
  // Validates every item of the menu bar.
  void validateAll();
  // Performs the item's call when it validates as enabled.
  void perform(QAction& item);
  // The menu bar's item that sends the command (the first in menu order); null when none.
  QAction* item(const QString& identifier) const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // The chain as it stands: the focused text field first.
  std::vector<CommandResponder*> chain() const;
  void watch(QMenu* menu);

  QMainWindow* window_;
  std::vector<CommandResponder*> responders_;
  // Stands for whichever text field has the focus when the chain is formed.
  std::unique_ptr<TextFieldResponder> textField_;
};
