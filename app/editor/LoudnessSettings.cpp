#include "editor/LoudnessSettings.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/Observable.h"
#include "support/Preferences.h"

LoudnessSettings::LoudnessSettings(std::function<void()> previewGainInputAssigned, QObject* parent)
    : QObject(parent),
      previewGainInputAssigned_(std::move(previewGainInputAssigned)),
      // Stored values come back within the ranges the editor offers.
      targetLUFS_(std::clamp(Preferences::doubleValue(Preferences::Keys::loudnessTarget), minTargetLUFS, maxTargetLUFS)),
      ceilingDBTP_(
          std::clamp(Preferences::doubleValue(Preferences::Keys::truePeakCeiling), minCeilingDBTP, maxCeilingDBTP)) {}

void LoudnessSettings::setLinkChannelLevels(bool link) {
  assignObserved(this, linkChannelLevels_, link, Property::linkChannelLevels);
}

void LoudnessSettings::setAnalysisScope(AnalysisScope scope) {
  assignObserved(this, analysisScope_, scope, Property::analysisScope);
}

void LoudnessSettings::setAdjustMode(LoudnessAdjustMode mode) {
  assignObserved(this, adjustMode_, mode, Property::adjustMode);
}

void LoudnessSettings::setTargetLUFS(double lufs) {
  assignObserved(this, targetLUFS_, lufs, Property::targetLUFS);
  Preferences::setValue(Preferences::Keys::loudnessTarget, lufs);
  previewGainInputAssigned_();
}

void LoudnessSettings::setCeilingDBTP(double db) {
  assignObserved(this, ceilingDBTP_, db, Property::ceilingDBTP);
  Preferences::setValue(Preferences::Keys::truePeakCeiling, db);
}

void LoudnessSettings::setManualGainDB(double db) {
  assignObserved(this, manualGainDB_, db, Property::manualGainDB);
  previewGainInputAssigned_();
}

void LoudnessSettings::setLimitTruePeaks(bool limit) {
  assignObserved(this, limitTruePeaks_, limit, Property::limitTruePeaks);
}

void LoudnessSettings::setPreviewLoudness(bool preview) {
  assignObserved(this, previewLoudness_, preview, Property::previewLoudness);
  previewGainInputAssigned_();
}

double LoudnessSettings::steppedCeiling(double ceilingDBTP, int steps) {
  return std::clamp((std::round(ceilingDBTP * 10) + steps) / 10, minCeilingDBTP, maxCeilingDBTP);
}
