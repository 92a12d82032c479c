#include <gtest/gtest.h>

#include "platform/UndoManager.h"

namespace {

// A value with snapshot undo as the editor does it: one handler gives undo and redo.
struct Document {
  UndoManager undo;
  int value = 0;

  void set(int newValue, const QString& name) {
    const int before = value;
    value = newValue;
    registerRestore(before, name);
  }
  void registerRestore(int state, const QString& name) {
    undo.registerUndo([this, state, name] {
      const int current = value;
      value = state;
      registerRestore(current, name);
    });
    undo.setActionName(name);
  }
};

} // namespace

TEST(UndoManager, UndoAndRedoShowTheSameName) {
  Document doc;
  EXPECT_EQ(doc.undo.undoMenuItemTitle(), QStringLiteral("Undo"));
  doc.set(1, QStringLiteral("Paste"));
  doc.set(2, QStringLiteral("Gain"));
  EXPECT_EQ(doc.undo.undoMenuItemTitle(), QStringLiteral("Undo Gain"));
  doc.undo.undo();
  EXPECT_EQ(doc.value, 1);
  EXPECT_EQ(doc.undo.undoMenuItemTitle(), QStringLiteral("Undo Paste"));
  EXPECT_EQ(doc.undo.redoMenuItemTitle(), QStringLiteral("Redo Gain"));
  doc.undo.redo();
  EXPECT_EQ(doc.value, 2);
  EXPECT_EQ(doc.undo.undoMenuItemTitle(), QStringLiteral("Undo Gain"));
  EXPECT_FALSE(doc.undo.canRedo());
}

TEST(UndoManager, RegistrationDuringUndoLandsOnRedoAndANewActionClearsRedo) {
  Document doc;
  doc.set(1, QStringLiteral("A"));
  doc.set(2, QStringLiteral("B"));
  doc.undo.undo();
  doc.undo.undo();
  EXPECT_EQ(doc.value, 0);
  EXPECT_FALSE(doc.undo.canUndo());
  doc.undo.redo();
  EXPECT_TRUE(doc.undo.canRedo());  // redoing keeps the rest of the redo stack
  EXPECT_EQ(doc.undo.redoActionName(), QStringLiteral("B"));
  doc.set(5, QStringLiteral("C"));
  EXPECT_FALSE(doc.undo.canRedo());
  EXPECT_EQ(doc.undo.undoActionName(), QStringLiteral("C"));
  doc.undo.undo();
  EXPECT_EQ(doc.value, 1);
}

TEST(UndoManager, ChangeCountTracksTheSavedState) {
  Document doc;
  doc.set(1, QStringLiteral("A"));
  EXPECT_TRUE(doc.undo.isEdited());
  doc.undo.markSaved(doc.undo.changeCount());
  EXPECT_FALSE(doc.undo.isEdited());

  doc.undo.undo();  // past the save point
  EXPECT_TRUE(doc.undo.isEdited());
  doc.undo.redo();
  EXPECT_FALSE(doc.undo.isEdited());

  // A new action taken below the save point never comes back to it.
  doc.undo.undo();
  doc.set(7, QStringLiteral("B"));
  EXPECT_TRUE(doc.undo.isEdited());
  doc.undo.undo();
  EXPECT_TRUE(doc.undo.isEdited());
}

TEST(UndoManager, SaveMarksOnlyTheStateItCaptured) {
  Document doc;
  doc.set(1, QStringLiteral("A"));
  const int64_t atSave = doc.undo.changeCount();
  doc.set(2, QStringLiteral("B"));  // made while the save encodes
  doc.undo.markSaved(atSave);
  EXPECT_TRUE(doc.undo.isEdited());
  doc.undo.undo();
  EXPECT_FALSE(doc.undo.isEdited());
}

TEST(UndoManager, RemoveAllActionsEmptiesBothStacks) {
  Document doc;
  doc.set(1, QStringLiteral("A"));
  doc.set(2, QStringLiteral("B"));
  doc.undo.undo();
  doc.undo.removeAllActions();
  EXPECT_FALSE(doc.undo.canUndo());
  EXPECT_FALSE(doc.undo.canRedo());
}
