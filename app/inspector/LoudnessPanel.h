// LoudnessPanel: the inspector's loudness tab: the measure scope (entire file or selection),
// then for the active measurement the integrated loudness against the target, the short-term
// distribution, six further figures (warnings in red) and, for multichannel audio, the channel
// levels; a placeholder while there is none; always the loudness adjustment; and the live meters
// while the document plays. The model's loudness analysis measures; the panel only shows its
// results and writes the scope. The texts and rules are the pure functions below. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "dsp/Loudness.h"
#include "editor/AnalysisScope.h"

class AdjustLoudnessSection;
class ChannelLevelsSection;
class EditorModel;
class LiveMetersSection;
class LoudnessSpectrumView;
class ObservedRefresh;
class QFrame;
class QGridLayout;
class QLabel;
class QProgressBar;
class QVBoxLayout;
class SegmentedControl;
class ToneLabel;

class LoudnessPanel final : public QWidget {
  Q_OBJECT
public:
  // One cell of the figures grid.
  struct Metric {
    QString title;
    QString value;
    QString unit;
    bool warning;
    bool operator==(const Metric&) const = default;
  };

  explicit LoudnessPanel(EditorModel* model, QWidget* parent = nullptr);

  // The six figures, row by row, left before right; the true peak warns above the ceiling, the
  // sample peak at −0.01 dBFS and above.
  static std::vector<Metric> metrics(const quar::LoudnessResult& result, double ceilingDBTP);
  // What stands in for a missing measurement.
  static QString placeholderText(AnalysisScope scope, bool hasSelection, int64_t frameCount);
  // The scope picker stays usable unless there is no selection to measure and the scope is the file.
  static bool scopeEnabled(AnalysisScope scope, bool hasSelection);
  // "vs. target -23".
  static QString targetCaption(double targetLUFS);
  // "+1.2 LU", and whether it lies within 1 LU of the target.
  static QString differenceText(double integratedLUFS, double targetLUFS);
  static bool isOnTarget(double integratedLUFS, double targetLUFS);

  LiveMetersSection* liveMeters() const { return liveMeters_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  // The placeholder's symbol in the tertiary text colour.
  void tintSymbol();
  void refresh();
  void showLiveMeters(bool show);

  EditorModel* model_;
  QVBoxLayout* column_;
  SegmentedControl* scope_;
  QProgressBar* progress_;
  QWidget* measurement_;
  ToneLabel* integrated_;
  QWidget* targetColumn_;
  ToneLabel* targetCaption_;
  ToneLabel* difference_;
  LoudnessSpectrumView* distribution_;
  QGridLayout* metrics_;
  QFrame* channelsDivider_;
  ChannelLevelsSection* channels_;
  QWidget* placeholder_;
  QLabel* symbol_;
  ToneLabel* placeholderText_;
  AdjustLoudnessSection* adjust_;
  QFrame* liveDivider_ = nullptr;
  LiveMetersSection* liveMeters_ = nullptr;
  ObservedRefresh* observer_;
};
