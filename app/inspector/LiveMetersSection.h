// LiveMetersSection: the loudness tab's meters while the document plays: momentary and
// short-term loudness (−54…0 LUFS) against the loudness target, then for each channel that the
// meter reading covers the peak level (−60…0 dBFS) with its hold and RMS. It shows the model's
// meter reading as it is refreshed. GUI thread only.
#pragma once

#include <QWidget>

#include <vector>

class EditorModel;
class LinearMeterRow;
class ObservedRefresh;
class QVBoxLayout;

class LiveMetersSection final : public QWidget {
  Q_OBJECT
public:
  explicit LiveMetersSection(EditorModel* model, QWidget* parent = nullptr);

  // The loudness rows, then one row per metered channel.
  std::vector<LinearMeterRow*> rows() const;

private:
  void refresh();

  EditorModel* model_;
  QVBoxLayout* column_;
  LinearMeterRow* momentary_;
  LinearMeterRow* shortTerm_;
  std::vector<LinearMeterRow*> channels_;
  int namedFor_ = 0;  // the channel count the rows' names are for
  ObservedRefresh* observer_;
};
