// TimeField: a labelled text field of the status bar that shows a frame index or count in the
// model's time format. Text typed into it stays until Return parses it and commits the frame,
// clamped to [0, frameCount] (text that does not parse commits nothing); Escape drops it. Either
// key shows the value again and reports `finished`, as losing focus or a change of time format
// shows the value again. Otherwise the field follows the value. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

#include "support/TimeFormat.h"

class EditorModel;
class ObservedRefresh;
class QLabel;
class QLineEdit;

class TimeField final : public QWidget {
  Q_OBJECT
public:
  // `value` reads the shown frame from the model; `commit` gets a typed frame.
  TimeField(const QString& label, EditorModel* model, std::function<int64_t()> value,
            std::function<void(int64_t)> commit, QWidget* parent = nullptr);

  QLineEdit* edit() const { return edit_; }
  // The field's width for a format: 104 points for samples, else 92.
  static int editWidth(TimeFormat format);

Q_SIGNALS:
  // Return committed or Escape dropped the typed text.
  void finished();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  QString valueText() const;
  // Text typed since the field last showed the value.
  bool isEditing() const;
  void refresh();
  void submit();

  EditorModel* model_;
  std::function<int64_t()> value_;
  std::function<void(int64_t)> commit_;
  QLabel* caption_;
  QLineEdit* edit_;
  std::optional<TimeFormat> shownFormat_;
  ObservedRefresh* observer_;
};
