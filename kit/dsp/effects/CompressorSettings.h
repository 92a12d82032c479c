// Settings of the compressor (levels in dB, times in ms, ratio as input dB per output dB above
// the threshold, mix as the wet proportion [0, 1]) with its level detection mode, its static gain
// curve and its effective make-up gain. Values are stored as given, never clamped. Plain values;
// every function is pure and safe on the audio thread. JSON form and hashing: EffectSettings.h.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

namespace quar {

enum class DetectionMode { peak, rms };

template <>
struct EnumCases<DetectionMode> {
  static constexpr std::array values{DetectionMode::peak, DetectionMode::rms};
};

std::string_view rawValue(DetectionMode mode);
std::string_view displayName(DetectionMode mode);

struct CompressorSettings {
  double thresholdDB = -18;
  double ratio = 4;
  double kneeDB = 6;  // width of the soft knee; 0 or less is a hard knee
  double attackMs = 10;
  double releaseMs = 120;
  double makeupGainDB = 0;
  bool autoMakeup = false;
  DetectionMode detection = DetectionMode::peak;
  bool stereoLink = true;
  double mix = 1.0;

  // The output level in dB for a steady input level in dB. A ratio below 1 does not compress.
  double staticOutputDB(double inputDB) const;
  // makeupGainDB, plus (with autoMakeup) half of the reduction the curve applies at 0 dB.
  double effectiveMakeupDB() const;

  bool operator==(const CompressorSettings&) const = default;
};

} // namespace quar
