// A half-open range of frame indices, [lowerBound, upperBound). Construction requires
// lowerBound <= upperBound (checked before any clamping). Plain value, audio-thread safe.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/Precondition.h"

namespace quar {

struct FrameRange {
  int64_t lowerBound = 0;
  int64_t upperBound = 0;

  constexpr FrameRange() = default;
  constexpr FrameRange(int64_t lower, int64_t upper) : lowerBound(lower), upperBound(upper) {
    QUAR_PRECONDITION(lower <= upper, "Range requires lowerBound <= upperBound");
  }

  constexpr int64_t count() const { return upperBound - lowerBound; }
  constexpr bool isEmpty() const { return lowerBound == upperBound; }
  constexpr bool contains(int64_t frame) const { return frame >= lowerBound && frame < upperBound; }
  // True when `other` lies wholly inside this range (empty ranges at the ends included).
  constexpr bool contains(FrameRange other) const {
    return other.lowerBound >= lowerBound && other.upperBound <= upperBound;
  }
  constexpr bool overlaps(FrameRange other) const {
    return lowerBound < other.upperBound && other.lowerBound < upperBound;
  }
  // The part of this range inside `limits`; an empty range at the nearer limit when disjoint.
  constexpr FrameRange clamped(FrameRange limits) const {
    const int64_t lower = std::clamp(lowerBound, limits.lowerBound, limits.upperBound);
    const int64_t upper = std::clamp(upperBound, limits.lowerBound, limits.upperBound);
    return {lower, upper};
  }
  constexpr bool operator==(const FrameRange&) const = default;
};

} // namespace quar
