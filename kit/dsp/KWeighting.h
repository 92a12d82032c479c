// K-weighting after ITU-R BS.1770: the high-shelf head filter and the RLB high-pass, designed
// from their analogue prototypes for any sample rate (Hz). KWeightingFilter runs both sections
// in double precision over blocks of float samples (a NaN or infinity enters as 0) and carries
// its state across blocks; one filter per channel, used by one thread at a time. process()
// allocates only when a block is larger than any before it.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/BiquadCoefficients.h"
#include "dsp/Buffers.h"

namespace quar {

struct KWeighting {
  KWeighting() = delete;

  // The head filter: a shelf of about +4 dB above 1.7 kHz.
  static BiquadCoefficients shelf(double sampleRate);
  // The RLB high-pass at about 38 Hz; its b coefficients are 1, −2, 1.
  static BiquadCoefficients highPass(double sampleRate);
};

class KWeightingFilter {
public:
  static constexpr int64_t initialCapacity = 65536;

  explicit KWeightingFilter(double sampleRate);

  // Filters `count` samples; the result points to `count` doubles valid until the next call.
  // A count below 1 returns the output buffer untouched.
  const double* process(const float* samples, int64_t count);
  // Back to silence: the next block is filtered as if it were the first.
  void reset() { delay_.fill(0); }

private:
  std::array<BiquadCoefficients, 2> sections_;
  // Direct form I cascade state: x[n−1], x[n−2], then y[n−1], y[n−2] of each section.
  std::array<double, 6> delay_{};
  DoubleScratch input_;
  DoubleScratch output_;
};

} // namespace quar
