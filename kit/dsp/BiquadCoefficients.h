// BiquadCoefficients: one second-order filter section in double precision, normalised so that
// a0 = 1: y[n] = b0·x[n] + b1·x[n−1] + b2·x[n−2] − a1·y[n−1] − a2·y[n−2]. A plain value shared by
// the equaliser, the saturation tone filter and K-weighting; safe on any thread.
#pragma once

#include <cstddef>
#include <functional>

namespace quar {

struct BiquadCoefficients {
  double b0 = 1;
  double b1 = 0;
  double b2 = 0;
  double a1 = 0;
  double a2 = 0;

  bool operator==(const BiquadCoefficients&) const = default;
};

} // namespace quar

template <>
struct std::hash<quar::BiquadCoefficients> {
  size_t operator()(const quar::BiquadCoefficients& c) const noexcept {
    const std::hash<double> h;
    size_t seed = h(c.b0);
    for (double v : {c.b1, c.b2, c.a1, c.a2}) seed = seed * 31 + h(v);
    return seed;
  }
};
