#include "platform/CommandRouter.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <functional>

namespace {

// A menu item with the call it sends.
class CommandItem final : public QAction {
public:
  CommandItem(CommandCall call, QObject* parent) : QAction(parent), call(std::move(call)) {}

  const CommandCall call;
};

CommandResponder* applicationResponder = nullptr;

// Every item of the menu bar in menu order, submenus' items right after their own item.
void forEachItem(const QList<QAction*>& items, const std::function<bool(QAction&)>& visit) {
  for (QAction* item : items) {
    if (!visit(*item)) return;
    if (QMenu* submenu = item->menu()) forEachItem(submenu->actions(), visit);
  }
}

} // namespace

// The focused text field's own editing commands.
class TextFieldResponder final : public CommandResponder {
public:
  QPointer<QLineEdit> field;

  bool respondsTo(const QString& identifier) const override {
    static const QStringList commands{"undo", "redo", "cut", "copy", "paste", "delete", "selectAll"};
    return field && commands.contains(identifier);
  }

  CommandState state(const CommandCall& call) override {
    const QString& command = call.identifier;
    const bool editable = !field->isReadOnly();
    const bool selected = field->hasSelectedText();
    if (command == QLatin1String("undo")) return {editable && field->isUndoAvailable(), QStringLiteral("Undo"), {}};
    if (command == QLatin1String("redo")) return {editable && field->isRedoAvailable(), QStringLiteral("Redo"), {}};
    if (command == QLatin1String("copy")) return {selected};
    if (command == QLatin1String("paste")) return {editable && !QGuiApplication::clipboard()->text().isEmpty()};
    if (command == QLatin1String("selectAll")) return {!field->text().isEmpty()};
    return {editable && selected};  // cut, delete
  }

  void perform(const CommandCall& call) override {
    const QString& command = call.identifier;
    if (command == QLatin1String("undo")) field->undo();
    if (command == QLatin1String("redo")) field->redo();
    if (command == QLatin1String("cut")) field->cut();
    if (command == QLatin1String("copy")) field->copy();
    if (command == QLatin1String("paste")) field->paste();
    if (command == QLatin1String("delete")) field->del();
    if (command == QLatin1String("selectAll")) field->selectAll();
  }
};

namespace MenuItem {

QAction* make(const CommandCall& call, const QString& title, QObject* parent) {
  auto* item = new CommandItem(call, parent);
  item->setObjectName(call.identifier);
  setTitle(*item, title);
  return item;
}

const CommandCall* call(const QAction& item) {
  const auto* sending = dynamic_cast<const CommandItem*>(&item);
  return sending ? &sending->call : nullptr;
}

QString command(const QAction& item) {
  const CommandCall* sent = call(item);
  return sent ? sent->identifier : QString();
}

QString escaped(QString title) { return title.replace(QLatin1Char('&'), QStringLiteral("&&")); }

void setTitle(QAction& item, QString title) { item.setText(escaped(std::move(title))); }

QString title(const QAction& item) { return item.text().replace(QStringLiteral("&&"), QStringLiteral("&")); }

} // namespace MenuItem

CommandRouter::CommandRouter(QMainWindow* window, std::vector<CommandResponder*> responders)
    : QObject(window), window_(window), responders_(std::move(responders)),
      textField_(std::make_unique<TextFieldResponder>()) {
  setObjectName(QStringLiteral("commandRouter"));
  QMenuBar* bar = window->menuBar();
  for (QMenu* menu : bar->findChildren<QMenu*>()) watch(menu);
  // Every item of the bar's menus, clicked or reached by its key, ends up here once.
  connect(bar, &QMenuBar::triggered, this, [this](QAction* item) { perform(*item); });
  window->installEventFilter(this);
  validateAll();
}

CommandRouter::~CommandRouter() = default;

void CommandRouter::setApplicationResponder(CommandResponder* responder) { applicationResponder = responder; }

void CommandRouter::watch(QMenu* menu) {
  connect(menu, &QMenu::aboutToShow, this, &CommandRouter::validateAll);
}

std::vector<CommandResponder*> CommandRouter::chain() const {
  std::vector<CommandResponder*> links;
  textField_->field = qobject_cast<QLineEdit*>(window_->focusWidget());
  if (textField_->field) links.push_back(textField_.get());
  links.insert(links.end(), responders_.begin(), responders_.end());
  if (applicationResponder) links.push_back(applicationResponder);
  return links;
}

CommandResponder* CommandRouter::responderFor(const QString& identifier) const {
  for (CommandResponder* responder : chain())
    if (responder->respondsTo(identifier)) return responder;
  return nullptr;
}

bool CommandRouter::validate(QAction& item) {
  const CommandCall* call = MenuItem::call(item);
  if (!call) return item.isEnabled();
  CommandResponder* responder = responderFor(call->identifier);
  const CommandState state = responder ? responder->state(*call) : CommandState{false};
  item.setEnabled(state.enabled);
  if (state.title) MenuItem::setTitle(item, *state.title);
  item.setCheckable(state.checked.has_value());
  item.setChecked(state.checked.value_or(false));
  return state.enabled;
}

void CommandRouter::validateAll() {
  forEachItem(window_->menuBar()->actions(), [this](QAction& item) {
    validate(item);
    return true;
  });
}

void CommandRouter::perform(QAction& item) {
  const CommandCall* call = MenuItem::call(item);
  if (!call || !validate(item)) return;
  if (CommandResponder* responder = responderFor(call->identifier)) responder->perform(*call);
}

QAction* CommandRouter::item(const QString& identifier) const {
  QAction* found = nullptr;
  forEachItem(window_->menuBar()->actions(), [&](QAction& item) {
    if (MenuItem::command(item) == identifier) found = &item;
    return !found;
  });
  return found;
}

bool CommandRouter::eventFilter(QObject* watched, QEvent* event) {
  // A key that no widget of the window takes for itself goes to the menus next: their items
  // must be up to date before Qt looks for the key's item.
  if (watched == window_ && event->type() == QEvent::ShortcutOverride) validateAll();
  return QObject::eventFilter(watched, event);
}
