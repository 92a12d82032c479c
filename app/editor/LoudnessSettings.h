// LoudnessSettings: how a document's loudness is measured and adjusted: the analysed scope, a
// target or a manual gain, the target (LUFS), the true-peak ceiling (dBTP), the manual gain (dB),
// whether true peaks are limited, whether playback previews the planned gain and whether the
// channel level faders move together. The target and the ceiling persist in the preferences and
// come back within the ranges the editor offers. A QObject on the GUI thread with tracked
// getters, like Viewport's.
#pragma once

#include <QObject>

#include <functional>

#include "editor/AnalysisScope.h"
#include "editor/LoudnessAdjustMode.h"
#include "platform/ObservationScope.h"

class LoudnessSettings final : public QObject {
  Q_OBJECT
public:
  enum class Property {
    linkChannelLevels, analysisScope, adjustMode, targetLUFS, ceilingDBTP, manualGainDB, limitTruePeaks, previewLoudness,
  };
  Q_ENUM(Property)

  // The ranges the editor offers for the target (LUFS) and the ceiling (dBTP).
  static constexpr double minTargetLUFS = -36;
  static constexpr double maxTargetLUFS = -6;
  static constexpr double minCeilingDBTP = -9;
  static constexpr double maxCeilingDBTP = 0;

  // `previewGainInputAssigned` runs after every assignment of the target, the manual gain and
  // the preview switch, also of an unchanged value: the owner recomputes the preview gain.
  explicit LoudnessSettings(std::function<void()> previewGainInputAssigned, QObject* parent = nullptr);

  bool linkChannelLevels() const { return track(Property::linkChannelLevels), linkChannelLevels_; }
  void setLinkChannelLevels(bool link);
  AnalysisScope analysisScope() const { return track(Property::analysisScope), analysisScope_; }
  void setAnalysisScope(AnalysisScope scope);
  LoudnessAdjustMode adjustMode() const { return track(Property::adjustMode), adjustMode_; }
  void setAdjustMode(LoudnessAdjustMode mode);
  // LUFS; stored under "loudnessTarget".
  double targetLUFS() const { return track(Property::targetLUFS), targetLUFS_; }
  void setTargetLUFS(double lufs);
  // dBTP; stored under "truePeakCeiling".
  double ceilingDBTP() const { return track(Property::ceilingDBTP), ceilingDBTP_; }
  void setCeilingDBTP(double db);
  double manualGainDB() const { return track(Property::manualGainDB), manualGainDB_; }
  void setManualGainDB(double db);
  bool limitTruePeaks() const { return track(Property::limitTruePeaks), limitTruePeaks_; }
  void setLimitTruePeaks(bool limit);
  bool previewLoudness() const { return track(Property::previewLoudness), previewLoudness_; }
  void setPreviewLoudness(bool preview);

  // The ceiling `steps` tenths of a dB on, on the exact tenth and within the offered range.
  static double steppedCeiling(double ceilingDBTP, int steps);

Q_SIGNALS:
  void changed(LoudnessSettings::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }

  std::function<void()> previewGainInputAssigned_;
  bool linkChannelLevels_ = false;
  AnalysisScope analysisScope_ = AnalysisScope::file;
  LoudnessAdjustMode adjustMode_ = LoudnessAdjustMode::target;
  double targetLUFS_;
  double ceilingDBTP_;
  double manualGainDB_ = 0;
  bool limitTruePeaks_ = true;
  bool previewLoudness_ = false;
};
