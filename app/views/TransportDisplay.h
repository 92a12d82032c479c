// TransportDisplay: the toolbar's position readout: the play position (or the selection start,
// or the cursor) in the model's time format, below it the selection's length ("Sel …") or the
// file's length ("of …"), and the compact level meters beside it. A change of the position
// while stopped cross-fades the readout. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class EditorModel;
class CrossFadeLabel;
class ObservedRefresh;
class QLabel;

class TransportDisplay final : public QWidget {
  Q_OBJECT
public:
  explicit TransportDisplay(EditorModel* model, QWidget* parent = nullptr);

  // The playhead while playing, else the selection's start, else the cursor.
  static int64_t position(const EditorModel& model);
  // "Sel " and the selection's length, else "of " and the content's length.
  static QString subtitle(const EditorModel& model);

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();

  EditorModel* model_;
  CrossFadeLabel* position_;
  QLabel* subtitle_;
  ObservedRefresh* observer_;
};
