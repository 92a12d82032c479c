// MeterReading: the live meters' levels in dBFS per channel and loudness in LUFS; -120
// everywhere at rest. Plain value.
#pragma once

#include <algorithm>
#include <vector>

struct MeterReading {
  std::vector<double> peakDB;
  std::vector<double> holdDB;
  std::vector<double> rmsDB;
  double momentaryLUFS = -120;
  double shortTermLUFS = -120;
  double maxMomentaryLUFS = -120;

  static MeterReading resting(int channelCount) {
    const auto n = static_cast<size_t>(std::max(channelCount, 0));
    return MeterReading{std::vector<double>(n, -120), std::vector<double>(n, -120), std::vector<double>(n, -120),
                        -120, -120, -120};
  }
  bool operator==(const MeterReading&) const = default;
};
