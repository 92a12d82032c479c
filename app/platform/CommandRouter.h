// CommandRouter: the responder chain of one window's menu bar. Each menu item names a command
// (an action's name, "cut", "zoomIn", ...) and carries a tag and a represented object; it has
// no target. The router sends the command to the first responder that takes it: the window's
// focused text field (undo, redo, cut, copy, paste, delete and select all), then the window's
// own responders in order (an editor window's controller, then its document), then the
// application's responder. An item that no responder takes is disabled. Items are validated
// (enabled state, title, check mark) when a menu is about to show and on every shortcut
// override in the window, so that a key reaches a command only while its item is enabled; an
// item's command is validated again before it is performed. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class TextFieldResponder;

// What a menu item sends, kept on its QAction: the command, a tag (0 unless set) and a
// represented object (the action's data).
namespace MenuItem {

// Also names the action after the command.
void setCommand(QAction& item, const QString& command, int tag = 0);
// Empty for an item without a command (a submenu's item, a text-only item).
QString command(const QAction& item);
int tag(const QAction& item);
QVariant representedObject(const QAction& item);
// The title as shown, "&" included (never a mnemonic).
void setTitle(QAction& item, QString title);
QString title(const QAction& item);

} // namespace MenuItem

// How a validated item shows: enabled or not and, where given, its title and check mark.
struct MenuItemState {
  MenuItemState(bool enabled = true, std::optional<QString> title = {}, std::optional<bool> checked = {})
      : enabled(enabled), title(std::move(title)), checked(checked) {}

  bool enabled;
  std::optional<QString> title;
  std::optional<bool> checked;
};

// One link of the chain.
class CommandResponder {
public:
  // Whether this responder takes the command at all, whatever its state.
  virtual bool respondsTo(const QString& command) const = 0;
  // The state of an item whose command this responder takes.
  virtual MenuItemState validateMenuItem(const QAction& item) = 0;
  // Performs the item's command (only called while the item validates as enabled).
  virtual void perform(const QAction& item) = 0;

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
  CommandResponder* responderFor(const QString& command) const;
  // Validates the item: enabled state, title and check mark; returns whether it is enabled.
  // An item without a command is left as it is.
  bool validate(QAction& item);
  // Validates every item of the menu bar.
  void validateAll();
  // Performs the item's command when it validates as enabled.
  void perform(QAction& item);
  // The menu bar's item that sends `command` (the first in menu order); null when none.
  QAction* item(const QString& command) const;

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
