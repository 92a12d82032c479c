// MarkersPanel: the inspector's markers tab: an Add button, a hint while there are no markers,
// and one row per marker in the model's order (by frame): its flag, a name field that renames
// the marker on Return, its time (a click clears the selection and moves the cursor there) and
// a remove button. Rows are keyed by marker id, so a row keeps its typed text while its marker
// stays; the field takes the marker's name when the row is made and whenever that name changes
// in the model. Every change is an editor-model operation; while the document may not change
// (a job runs or a take records) the panel offers none. GUI thread only.
#pragma once

#include <QWidget>

#include <map>

#include "base/Uuid.h"

class EditorModel;
class ObservedRefresh;
class QLabel;
class QToolButton;
class QVBoxLayout;

class MarkersPanel final : public QWidget {
  Q_OBJECT
public:
  explicit MarkersPanel(EditorModel* model, QWidget* parent = nullptr);

  // The rows, top to bottom.
  std::vector<QWidget*> rows() const;

private:
  class Row;
  void refresh();

  EditorModel* model_;
  QToolButton* add_;
  QLabel* help_;
  QVBoxLayout* list_;
  std::map<quar::Uuid, Row*> rows_;
  ObservedRefresh* observer_;
};
