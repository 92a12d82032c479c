#include "platform/UndoManager.h"

#include <limits>

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}

void UndoManager::registerUndo(Handler handler) {
  if (mode_ != Mode::idle && collecting_) {
    collecting_->handlers.push_back(std::move(handler));
    return;
  }
  redoStack_.clear();
  undoStack_.push_back(Group{{}, {std::move(handler)}});
  // A new action taken below the save point can never return to it.
  changeCount_ = changeCount_ < 0 ? std::numeric_limits<int32_t>::max() : changeCount_ + 1;
  Q_EMIT changed();
}

void UndoManager::setActionName(const QString& name) {
  Group* group = collecting_ ? collecting_ : (undoStack_.empty() ? nullptr : &undoStack_.back());
  if (!group || group->name == name) return;
  group->name = name;
  Q_EMIT changed();
}

QString UndoManager::undoActionName() const { return undoStack_.empty() ? QString() : undoStack_.back().name; }

QString UndoManager::redoActionName() const { return redoStack_.empty() ? QString() : redoStack_.back().name; }

QString UndoManager::undoMenuItemTitle() const {
  const QString name = undoActionName();
  return name.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + name;
}

QString UndoManager::redoMenuItemTitle() const {
  const QString name = redoActionName();
  return name.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + name;
}

void UndoManager::undo() { run(undoStack_, redoStack_, Mode::undoing, -1); }

void UndoManager::redo() { run(redoStack_, undoStack_, Mode::redoing, +1); }

void UndoManager::run(std::vector<Group>& from, std::vector<Group>& to, Mode mode, int64_t countStep) {
  if (from.empty() || mode_ != Mode::idle) return;
  Group group = std::move(from.back());
  from.pop_back();
  // The opposite group starts with the same name; handlers may rename it.
  Group opposite{group.name, {}};
  mode_ = mode;
  collecting_ = &opposite;
  for (auto it = group.handlers.rbegin(); it != group.handlers.rend(); ++it) (*it)();
  collecting_ = nullptr;
  mode_ = Mode::idle;
  if (!opposite.handlers.empty()) to.push_back(std::move(opposite));
  changeCount_ += countStep;
  Q_EMIT changed();
}

void UndoManager::removeAllActions() {
  if (undoStack_.empty() && redoStack_.empty()) return;
  undoStack_.clear();
  redoStack_.clear();
  Q_EMIT changed();
}

void UndoManager::markSaved(int64_t countAtSave) {
  changeCount_ -= countAtSave;
  Q_EMIT changed();
}
