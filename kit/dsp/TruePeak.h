// True-peak measurement after ITU-R BS.1770 annex 2. TruePeakInterpolator holds the polyphase
// windowed-sinc kernels (4× oversampling below 96 kHz, 2× below 192 kHz, none above);
// TruePeakDetector streams one channel through them and keeps the largest sample magnitude and
// the largest interpolated magnitude (linear), a NaN or infinite sample counted as 0. A detector
// is used by one thread at a time and allocates only when it is created.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quar {

struct TruePeakInterpolator {
  static constexpr int taps = 24;
  using Kernel = std::array<float, taps>;

  explicit TruePeakInterpolator(double sampleRate);

  int factor = 1;
  // One kernel per phase; empty when the factor is 1. Phase p at input position n gives the
  // value at n + 11 + p / factor.
  std::vector<Kernel> phases;
  // The largest amplification any kernel can apply to the largest input magnitude (≥ 1).
  float gainBound = 1;

  // out[i] = Σ_k x[i + k] · phases[phase][k] for i in [0, count); reads count + taps − 1 inputs.
  void interpolate(int phase, const float* x, float* out, int64_t count) const;
};

class TruePeakDetector {
public:
  static constexpr int64_t workCapacity = 32768;

  explicit TruePeakDetector(double sampleRate);

  const TruePeakInterpolator& interpolator() const { return interpolator_; }
  void process(const float* samples, int64_t count);
  // Takes `history` (taps − 1 samples) as the samples before the next process call, as if they
  // had been processed but without measuring them.
  void prime(const float* history);
  // Zeroes the history and both peaks.
  void reset();

  float samplePeak = 0;
  float interPeak = 0;
  // max(samplePeak, interPeak).
  float truePeak() const { return samplePeak > interPeak ? samplePeak : interPeak; }

private:
  TruePeakInterpolator interpolator_;
  std::vector<float> work_;     // taps − 1 history samples, then room for workCapacity new ones
  std::vector<float> scratch_;  // one phase's output
};

// The largest |x[i]| for i in [0, count) (0 when count < 1); NaN and infinities count as 0.
float maxMagnitude(const float* x, int64_t count);

} // namespace quar
