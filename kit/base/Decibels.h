// Conversions between decibels and linear amplitude or power, with the -144 dB floor.
// Pure functions, audio-thread safe.
#pragma once

#include <cmath>

namespace quar {

struct Decibels {
  static constexpr double floor = -144.0;

  // 10^(dB/20); no floor applied.
  static double toLinear(double dB) { return std::pow(10.0, dB / 20.0); }
  // 20·log10(x) for x > 0, never below the floor; -144 for x <= 0 or NaN.
  static double fromLinear(double amplitude) {
    if (!(amplitude > 0)) return floor;
    return std::max(20.0 * std::log10(amplitude), floor);
  }
  // 10·log10(p) for p > 0, never below the floor; -144 for p <= 0 or NaN.
  static double fromPower(double power) {
    if (!(power > 0)) return floor;
    return std::max(10.0 * std::log10(power), floor);
  }
};

} // namespace quar
