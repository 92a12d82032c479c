// GridSettingsView: the bar-grid popover's content: show the grid, the tempo (field, stepper,
// halve and double), the meter, tempo detection and tap tempo, bar 1 at the cursor, the
// detection confidence and snapping of gain points to the grid. Every control writes the model
// or calls its tempo operations. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class EditorModel;
class ObservedRefresh;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class GridSettingsView final : public QWidget {
  Q_OBJECT
public:
  // The view's width in points.
  static constexpr int contentWidth = 288;

  explicit GridSettingsView(EditorModel* model, QWidget* parent = nullptr);

  // The tempo as the field shows it: the current locale's number with 0 to 2 fraction digits.
  static QString tempoText(double bpm);
  // A typed tempo: a finite number of the current locale within [20, 400]; none otherwise.
  static std::optional<double> parsedTempo(const QString& text);
  // One step of the stepper (direction +1 or −1) from `bpm`, held within [20, 400].
  static double steppedTempo(double bpm, int direction);
  // The line under the detection controls for a confidence of [0, 1].
  struct ConfidenceLine {
    QString text;
    bool low;  // shown in orange
  };
  static ConfidenceLine confidenceLine(double confidence);

protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void refresh();
  void commitTempo();
  void stepTempo(int direction);

  EditorModel* model_;
  QCheckBox* showGrid_;
  QLineEdit* tempo_;
  QLabel* unit_;
  QComboBox* meter_;
  QPushButton* detect_;
  QProgressBar* detecting_;
  QLabel* confidence_;
  QCheckBox* snapToGrid_;
  QLabel* snapTitle_;
  QLabel* hint_;
  ObservedRefresh* observer_;
};
