// SpectrumPanel: the inspector's spectrum tab: a header with the mode ("Live at playhead",
// "Selection average", "Around cursor"), the SpectrumPlot, the display controls (frequency and
// amplitude scale, FFT size, peak hold) and the resolution line, over a SpectrumState of its
// own. While the model plays, a 33 ms timer analyses one frame at the playhead and folds it
// into the state; while idle, every change of the static key (content version, selection,
// cursor, FFT size, play state) asks the state for the average of the static range: the
// selection, else half a second either side of the cursor. GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "base/FrameRange.h"

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
  static constexpr std::chrono::milliseconds liveInterval{33};

  explicit SpectrumPanel(EditorModel* model, QWidget* parent = nullptr);

  // The range the idle average covers: the selection, else half a second (truncated to frames)
  // either side of the cursor, the cursor first held within the content.
  static quar::FrameRange staticRange(const EditorModel& model);
  // "Resolution 5.9 Hz per bin · Blackman-Harris window".
  static QString resolutionText(double sampleRate, int fftSize);

  SpectrumState& state() const { return *state_; }
  const QTimer& liveTimer() const { return liveTimer_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  using StaticKey = std::array<int64_t, 6>;
  StaticKey staticKey() const;
  // Asks for a new average when the static key changed (or always, with `force`).
  void followStaticKey(bool force);
  void followPlayState();
  void liveUpdate();
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
  QTimer liveTimer_;
  std::optional<StaticKey> key_;
  ObservedRefresh* observer_;
};
