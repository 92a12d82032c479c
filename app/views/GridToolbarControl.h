// GridToolbarControl: the toolbar's bar-grid button: the metronome and "tempo · beats/4", in the
// grid colour while the grid shows; a click opens (or closes) the grid settings in a popover
// below it, whose arrow points up at the button. GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "core/TempoGrid.h"

class EditorModel;
class ObservedRefresh;
class QFrame;
class QLabel;
class QToolButton;

class GridToolbarControl final : public QWidget {
  Q_OBJECT
public:
  explicit GridToolbarControl(EditorModel* model, QWidget* parent = nullptr);

  // "120.0 · 3/4".
  static QString label(const quar::TempoGrid& grid);

  // The popover while it is open.
  QFrame* popover() const;
  void setOpen(bool open);

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();

  EditorModel* model_;
  QToolButton* button_;
  QLabel* icon_;
  QLabel* text_;
  QPointer<QFrame> popover_;
  ObservedRefresh* observer_;
};
