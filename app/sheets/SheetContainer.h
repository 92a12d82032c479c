// SheetContainer: the frame of the processing sheets: a window-modal dialog 420 wide with the
// sheet's title, its own controls and a row of "Cancel" (also Escape: closes, nothing else) and
// the action button (also Return: apply() once, then the sheet closes; Space never presses it).
// It opens with the keyboard focus in its first value field, text selected (in its first menu
// when it has no field), so typing goes there at once. A sheet keeps only its own settings;
// apply() calls one editor-model operation. scopeText(): the "Applies to …" line of what an
// operation touches. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "widgets/Binding.h"

class EditorModel;
class QLabel;
class QPushButton;
class QVBoxLayout;

class SheetContainer : public QDialog {
  Q_OBJECT
public:
  static constexpr int sheetWidth = 420;

  QPushButton* actionButton() const { return action_; }

protected:
  SheetContainer(const QString& title, const QString& actionTitle, QWidget* window);

  // Adds an item below the content so far.
  void addContent(QWidget* item);
  void addContent(QLayout* item);
  // A line of explanation in the caption style and the secondary colour.
  QLabel* addNote(const QString& text);
  // The model's scope line, kept up to date while the sheet is open.
  void addScopeLine(EditorModel& model);

  // A binding to one of the sheet's own values for a ParamSlider with `format`: it stores the
  // value as the slider's field shows it, so that what is applied is what is on screen, and then
  // calls `changed`.
  static Binding<double> shownBinding(double& value, const QString& format, std::function<void()> changed = {});

  // Performs the sheet's operation.
  virtual void apply() = 0;

  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // The first enabled text field or spin box in the focus chain, else the first menu; null when
  // there is neither.
  QWidget* firstField() const;

  QVBoxLayout* content_;
  QPushButton* action_;
};

// "Applies to the selection." or "Applies to the entire file, channel L, C, Ls." (the active
// channels in index order, named only when not all are active).
QString scopeText(const EditorModel& model);
