// The rule for NaN and infinite samples, which only float audio can hold: wherever samples are
// measured or enter the memory of a filter, detector or feedback loop, such a sample counts as
// silence, so it changes no other sample and no figure; the sample itself is left where it is.
// Pure, audio-thread safe.
#pragma once

#include <bit>
#include <cstdint>

namespace quar {

// x when finite, else 0. A mask on the bits (all exponent bits set: NaN or infinity), without a
// branch, so that loops over it vectorise.
inline float finiteOrZero(float x) {
  const auto bits = std::bit_cast<uint32_t>(x);
  const uint32_t keep = 0u - static_cast<uint32_t>((bits & 0x7f800000u) != 0x7f800000u);
  return std::bit_cast<float>(bits & keep);
}

} // namespace quar
