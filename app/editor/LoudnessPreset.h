// LoudnessPreset: a loudness delivery target, integrated loudness (LUFS) and true-peak ceiling
// (dBTP), and the ranges the editor offers for both. Plain value.
#pragma once

#include <QString>

struct LoudnessPreset {
  QString name;  // also its identity
  double lufs = 0;
  double ceiling = 0;

  bool operator==(const LoudnessPreset&) const = default;
};

// The ranges the editor offers for the loudness target (LUFS) and the true-peak ceiling (dBTP).
inline constexpr double minTargetLUFS = -36;
inline constexpr double maxTargetLUFS = -6;
inline constexpr double minCeilingDBTP = -9;
inline constexpr double maxCeilingDBTP = 0;
