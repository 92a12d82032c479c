#include "dsp/effects/CompressorSettings.h"

#include <cmath>

namespace quar {

std::string_view rawValue(DetectionMode mode) { return mode == DetectionMode::peak ? "peak" : "rms"; }
std::string_view displayName(DetectionMode mode) { return mode == DetectionMode::peak ? "Peak" : "RMS"; }

double CompressorSettings::staticOutputDB(double inputDB) const {
  const double slope = ratio >= 1 ? 1 / ratio : 1;
  const double overKnee = inputDB - thresholdDB + kneeDB / 2;
  if (kneeDB > 0 && std::abs(inputDB - thresholdDB) <= kneeDB / 2)
    return inputDB + (slope - 1) * overKnee * overKnee / (2 * kneeDB);
  if (inputDB > thresholdDB) return thresholdDB + (inputDB - thresholdDB) * slope;
  return inputDB;
}

double CompressorSettings::effectiveMakeupDB() const {
  return autoMakeup ? makeupGainDB - 0.5 * staticOutputDB(0) : makeupGainDB;
}

} // namespace quar
