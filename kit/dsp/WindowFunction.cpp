#include "dsp/WindowFunction.h"

#include <cmath>
#include <numbers>
#include <span>

namespace quar {

namespace {

std::span<const double> cosineTerms(WindowFunction window) {
  static constexpr double hann[] = {0.5, 0.5};
  static constexpr double blackmanHarris[] = {0.35875, 0.48829, 0.14128, 0.01168};
  static constexpr double flatTop[] = {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
  static constexpr double rectangular[] = {1.0};
  switch (window) {
  case WindowFunction::hann: return hann;
  case WindowFunction::blackmanHarris: return blackmanHarris;
  case WindowFunction::flatTop: return flatTop;
  case WindowFunction::rectangular: return rectangular;
  }
  return rectangular;
}

} // namespace

std::string_view rawValue(WindowFunction window) {
  switch (window) {
  case WindowFunction::hann: return "hann";
  case WindowFunction::blackmanHarris: return "blackmanHarris";
  case WindowFunction::flatTop: return "flatTop";
  case WindowFunction::rectangular: return "rectangular";
  }
  return "hann";
}

std::vector<float> coefficients(WindowFunction window, int count) {
  std::vector<float> result;
  if (count <= 0) return result;
  result.reserve(static_cast<size_t>(count));
  const std::span<const double> terms = cosineTerms(window);
  for (int n = 0; n < count; ++n) {
    double sum = 0;
    double sign = 1;
    for (size_t k = 0; k < terms.size(); ++k, sign = -sign)
      sum += sign * terms[k] * std::cos(2 * std::numbers::pi * static_cast<double>(k) * n / count);
    result.push_back(static_cast<float>(sum));
  }
  return result;
}

} // namespace quar
