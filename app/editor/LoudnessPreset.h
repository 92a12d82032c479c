// LoudnessPreset: a loudness delivery target, integrated loudness (LUFS) and true-peak ceiling
// (dBTP). Plain value.
#pragma once

#include <QString>

struct LoudnessPreset {
  QString name;  // also its identity
  double lufs = 0;
  double ceiling = 0;

  bool operator==(const LoudnessPreset&) const = default;
};

