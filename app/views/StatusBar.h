// StatusBar: the bar below the timeline: Start, End and Length fields over the selection (the
// cursor without one), the format summary, the file's duration, the zero-crossing snap toggle
// and the time format picker. Typed fields change the selection or move the cursor through the
// model; the rules are the static functions below. Where the bar is too narrow for everything,
// the least needed items give way (`fit`); the fields always keep their full width. GUI thread
// only.
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class EditorModel;
class ObservedRefresh;
class QFrame;
class QLabel;
class QToolButton;
class TimeField;

class StatusBar final : public QWidget {
  Q_OBJECT
public:
  enum class Field { start, end, length };

  explicit StatusBar(EditorModel* model, QWidget* parent = nullptr);

  // What a field shows: the selection's bounds and length, or the cursor (and 0) without one.
  static int64_t value(const EditorModel& model, Field field);
  // A typed frame v, first held within [0, frameCount]. Start: with a selection [lo, hi) selects
  // [min(v, hi − 1), hi), else moves the cursor. End: from s (the selection's start, else the
  // cursor) to v, or clears the selection when v <= s. Length: [s, min(s + v, frameCount)), or
  // clears the selection when v is 0. The active channels stay.
  static void commit(EditorModel& model, Field field, int64_t v);

  // Full widths in points of what the bar holds: the three fields with the spacing between
  // them, the snap toggle, the time format picker in its compact and its full form, the
  // summary's whole text and the duration.
  struct Widths {
    int fields, snap, compactPicker, picker, summary, duration;
  };
  // Which of them show, and whether the picker shows in its compact form.
  struct Fit {
    bool snap, picker, pickerCompact, summary, duration;
  };
  // The summary is elided down to this width before it gives way.
  static constexpr int minimumSummaryWidth = 60;
  // What shows in a bar `width` points wide. The fields always show; then, each only where it
  // fits in the room the ones before it left: the snap toggle, the picker in its compact form,
  // the picker's full width, the summary behind its divider (in full, else elided; only beside
  // the picker in full) and the duration (only beside the summary in full).
  static Fit fit(int width, const Widths& widths);

Q_SIGNALS:
  // Return or Escape ended the typing in a field: the keys belong to the timeline again.
  void fieldFinished();

protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  // Only the fields: everything else gives way.
  QSize minimumSizeHint() const override;

private:
  class ElidedLabel;
  class FormatPicker;
  void refresh();
  int fieldsWidth() const;
  // Shows what fits the current width.
  void arrange();

  EditorModel* model_;
  std::array<TimeField*, 3> fields_;
  QFrame* divider_;
  ElidedLabel* summary_;
  QLabel* duration_;
  QToolButton* snap_;
  FormatPicker* timeFormat_;
  ObservedRefresh* observer_;
};
