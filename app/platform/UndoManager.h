// UndoManager: a document's undo history as named groups of handlers. A handler registered
// while undoing lands on the redo stack, one registered while redoing lands on the undo stack
// (keeping the redo stack), any other registration starts a new undo group and clears the redo
// stack. `changeCount` follows the document's edited state: +1 when an action is done or
// redone, -1 when undone; 0 means "as last saved". GUI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class UndoManager final : public QObject {
  Q_OBJECT
public:
  using Handler = std::function<void()>;

  explicit UndoManager(QObject* parent = nullptr);

  // Records a handler that undoes (or, during an undo, redoes) the change just made.
  void registerUndo(Handler handler);
  // Names the group that the last registration went into (the redo group during an undo).
  void setActionName(const QString& name);

  bool canUndo() const { return !undoStack_.empty(); }
  bool canRedo() const { return !redoStack_.empty(); }
  QString undoActionName() const;
  QString redoActionName() const;
  // Menu titles: "Undo <name>" / "Redo <name>", or "Undo" / "Redo" without a name.
  QString undoMenuItemTitle() const;
  QString redoMenuItemTitle() const;
  bool isUndoing() const { return mode_ == Mode::undoing; }
  bool isRedoing() const { return mode_ == Mode::redoing; }

  // Runs the top undo group's handlers, newest first; nothing when the stack is empty or an
  // undo or redo is already running.
  void undo();
  void redo();
  // Empties both stacks; the change count is left alone.
  void removeAllActions();

  int64_t changeCount() const { return changeCount_; }
  // Marks as saved the state whose change count was `countAtSave` (taken when the save
  // started): edits made since keep the document edited.
  void markSaved(int64_t countAtSave);
  bool isEdited() const { return changeCount_ != 0; }

Q_SIGNALS:
  // The stacks, an action name or the change count changed.
  void changed();

private:
  enum class Mode { idle, undoing, redoing };
  struct Group {
    QString name;
    std::vector<Handler> handlers;
  };

  void run(std::vector<Group>& from, std::vector<Group>& to, Mode mode, int64_t countStep);

  std::vector<Group> undoStack_;
  std::vector<Group> redoStack_;
  // The group that registrations go into during an undo or redo.
  Group* collecting_ = nullptr;
  Mode mode_ = Mode::idle;
  int64_t changeCount_ = 0;
};
