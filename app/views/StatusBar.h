// StatusBar: the bar below the timeline: Start, End and Length fields over the selection (the
// cursor without one), the format summary, the file's duration, the zero-crossing snap toggle
// and the time format picker. Typed fields change the selection or move the cursor through the
// model; the rules are the static functions below. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class EditorModel;
class ObservedRefresh;
class QComboBox;
class QLabel;
class QToolButton;

class StatusBar final : public QWidget {
  Q_OBJECT
public:
  enum class Field { start, end, length };

  explicit StatusBar(EditorModel* model, QWidget* parent = nullptr);

  // What a field shows: the selection's bounds and length, or the cursor (and 0) without one.
  static int64_t value(const EditorModel& model, Field field);
  // A typed frame v, first held within 0...frameCount. Start: with a selection lo..<hi selects
  // min(v, hi − 1)..<hi, else moves the cursor. End: from s (the selection's start, else the
  // cursor) to v, or clears the selection when v <= s. Length: s..<min(s + v, frameCount), or
  // clears the selection when v is 0. The active channels stay.
  static void commit(EditorModel& model, Field field, int64_t v);

Q_SIGNALS:
  // Return or Escape ended the typing in a field: the keys belong to the timeline again.
  void fieldFinished();

protected:
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  class ElidedLabel;
  void refresh();

  EditorModel* model_;
  ElidedLabel* summary_;
  QLabel* duration_;
  QToolButton* snap_;
  QComboBox* timeFormat_;
  ObservedRefresh* observer_;
};
