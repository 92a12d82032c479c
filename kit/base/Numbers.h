// Number helpers shared by every module: rounding with halves away from zero, checked
// conversion from Double to integers (a trap on NaN, infinity or overflow, or a clamp into
// bounds), checked Int sums, clamping, and the text of a Double as the system's messages show
// it. All are pure and audio-thread safe except formatDouble, which allocates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/Precondition.h"

namespace quar {

// Whether truncating `x` gives an int64: finite and within −2^63 ≤ x < 2^63.
inline bool fitsInt64(double x) {
  return std::isfinite(x) && x >= -9223372036854775808.0 && x < 9223372036854775808.0;
}

// Truncating conversion that stops the program on NaN, infinity or a value outside int64.
inline int64_t checkedInt(double x) {
  QUAR_PRECONDITION(fitsInt64(x), "Double value cannot be converted to Int");
  return static_cast<int64_t>(x);
}

// Rounds halves away from zero (2.5 -> 3, -2.5 -> -3), then converts with the same checks as checkedInt.
inline int64_t roundedInt(double x) { return checkedInt(std::round(x)); }

// Truncating conversion into [lower, upper] (lower <= upper) that never stops: values beyond a
// bound (infinities included) give that bound, NaN gives lower.
inline int64_t clampedInt(double x, int64_t lower, int64_t upper) {
  if (!(x > static_cast<double>(lower))) return lower;
  if (x >= static_cast<double>(upper)) return upper;
  return std::clamp(static_cast<int64_t>(x), lower, upper);
}

// a + b and a − b that stop the program when the result does not fit in an int64.
inline int64_t checkedSum(int64_t a, int64_t b) {
  int64_t sum = 0;
  QUAR_PRECONDITION(!__builtin_add_overflow(a, b, &sum), "Int arithmetic overflows");
  return sum;
}

inline int64_t checkedDifference(int64_t a, int64_t b) {
  int64_t difference = 0;
  QUAR_PRECONDITION(!__builtin_sub_overflow(a, b, &difference), "Int arithmetic overflows");
  return difference;
}

// min(max(value, lower), upper): the lower bound is applied first.
template <typename T>
constexpr T clamped(T value, T lower, T upper) {
  return value < lower ? (lower < upper ? lower : upper) : (upper < value ? upper : value);
}

// Shortest round-trip text of a double with ".0" on integral values, exponent form outside
// [1e-4, 1e16): "44100.0", "0.1", "-2400.0", "1e-05", "1e+16", "nan", "inf".
std::string formatDouble(double value);

} // namespace quar
