// Signals for the analysis tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace quar::test {

// amplitude·sin(2π·frequency·n/sampleRate + phase), computed in double.
inline std::vector<float> sine(int64_t frames, double frequency, double sampleRate, double amplitude = 1,
                               double phase = 0) {
  std::vector<float> result(static_cast<size_t>(frames));
  for (int64_t n = 0; n < frames; ++n)
    result[static_cast<size_t>(n)] = static_cast<float>(
        amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate + phase));
  return result;
}

} // namespace quar::test
