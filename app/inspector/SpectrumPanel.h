// SpectrumPanel: the inspector's spectrum tab: a header with the mode ("Live at playhead",
// "Selection average", "Around cursor"), the SpectrumPlot, the display controls (frequency and
// amplitude scale, FFT size, peak hold) and the resolution line, over a SpectrumState of its
// own, which follows the model (live while it plays, the average of the static range while
// idle). GUI thread only.
#pragma once

#include <QWidget>

class EditorModel;
class ObservedRefresh;
class QCheckBox;
class QComboBox;
class QLabel;
class SegmentedControl;
class SpectrumPlot;
class SpectrumState;

class SpectrumPanel final : public QWidget {
  Q_OBJECT
public:
  explicit SpectrumPanel(EditorModel* model, QWidget* parent = nullptr);

  // "Resolution 5.9 Hz per bin · Blackman-Harris window".
  static QString resolutionText(double sampleRate, int fftSize);

  SpectrumState& state() const { return *state_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();

  EditorModel* model_;
  SpectrumState* state_;
  QLabel* mode_;
  SpectrumPlot* plot_;
  SegmentedControl* frequency_;
  SegmentedControl* amplitude_;
  QComboBox* fftSize_;
  QCheckBox* holdPeaks_;
  QLabel* resolution_;
  ObservedRefresh* observer_;
};
