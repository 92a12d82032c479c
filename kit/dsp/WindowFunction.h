// Analysis windows of spectral processing (spectrum analysis, noise reduction): periodic
// cosine sums w[n] = Σ_k (−1)^k·a_k·cos(2π·k·n/N), n in [0, N), computed in double and stored
// as float. Pure functions; coefficients() allocates, so call it outside real-time code.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "base/Enums.h"

namespace quar {

enum class WindowFunction { hann, blackmanHarris, flatTop, rectangular };

template <>
struct EnumCases<WindowFunction> {
  static constexpr std::array values{WindowFunction::hann, WindowFunction::blackmanHarris, WindowFunction::flatTop,
                                     WindowFunction::rectangular};
};

// "hann", "blackmanHarris", "flatTop", "rectangular".
std::string_view rawValue(WindowFunction window);

// The window's `count` samples (empty for count <= 0).
std::vector<float> coefficients(WindowFunction window, int count);

} // namespace quar
