// AdjustLoudnessSection: the loudness tab's adjustment: match a delivery target (a loudness and
// a true-peak ceiling, set directly or from eight presets) or apply a manual gain; limiting and
// the live preview switches; the model's plan as a prediction of the integrated loudness and
// true peak after the change; and Apply, which runs the change on the editor model. Every
// control reads and writes the model; the texts and rules are the pure functions below.
// GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "dsp/Limiter.h"
#include "editor/AnalysisScope.h"
#include "editor/LoudnessPreset.h"

class EditorModel;
class ObservedRefresh;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;
class SegmentedControl;
class ToneLabel;

class AdjustLoudnessSection final : public QWidget {
  Q_OBJECT
public:
  // What the prediction box says about a plan.
  struct Prediction {
    QString gain;        // "+2.50 dB gain" or "No gain change"
    QString loudness;    // "→ -14.0 LUFS"
    QString truePeak;    // "-1.0 dBTP (limited)"
    bool truePeakWarning;
    QString note;        // empty for none
    bool noteWarning;
    bool operator==(const Prediction&) const = default;
  };

  explicit AdjustLoudnessSection(EditorModel* model, QWidget* parent = nullptr);

  // The delivery presets, in menu order.
  static const std::vector<LoudnessPreset>& presets();
  // "Apple Music  (-16 LUFS, -1.0 dBTP)".
  static QString presetItemText(const LoudnessPreset& preset);
  // The name of the first preset with exactly this target and ceiling, else "Custom".
  static QString presetMenuTitle(double targetLUFS, double ceilingDBTP);
  static Prediction prediction(const quar::LoudnessNormalization::Plan& plan, bool limitTruePeaks, double ceilingDBTP);
  // "Apply to Selection" or "Apply to Entire File".
  static QString applyTitle(AnalysisScope scope, bool hasSelection);
  // A plan, a document that may change now (no job, no take) and a gain of at least 0.01 dB.
  static bool canApply(const std::optional<quar::LoudnessNormalization::Plan>& plan, bool canChangeDocument);

private:
  void refresh();
  void stepCeiling(int steps);

  EditorModel* model_;
  SegmentedControl* mode_;
  QWidget* targetRows_;
  QPushButton* presetMenu_;
  QSlider* target_;
  QLabel* targetValue_;
  QWidget* gainRow_;
  QSlider* gain_;
  QLabel* gainValue_;
  QLabel* ceilingValue_;
  QToolButton* ceilingUp_;
  QToolButton* ceilingDown_;
  QCheckBox* limit_;
  QCheckBox* preview_;
  QWidget* predictionBox_;
  QLabel* predictedGain_;
  QLabel* predictedLoudness_;
  ToneLabel* predictedPeak_;
  ToneLabel* note_;
  QPushButton* apply_;
  ObservedRefresh* observer_;
};
