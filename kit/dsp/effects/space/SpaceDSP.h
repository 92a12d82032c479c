// Building blocks of the delay, chorus/flanger and reverb processors.
// SpaceStorage: a fixed-size owned element buffer (count >= 1), created and cleared in bulk.
// SpaceRamp: a linear parameter ramp across one 32-frame control tick.
// SpaceSVFCoefficients/SpaceSVFState: a trapezoidal state-variable filter (cutoff in Hz,
// designed in double precision, run in single precision).
// Also the Catmull-Rom delay-line read and the soft clip shared by the processors.
// Creating a storage allocates (prepare only); everything else is audio-thread safe.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "base/Precondition.h"

namespace quar {

template <typename T>
class SpaceStorage final {
public:
  // max(count, 1) elements, each set to `zero`.
  SpaceStorage(int64_t count, T zero) : count_(std::max<int64_t>(count, 1)), zero_(zero) {
    QUAR_PRECONDITION(static_cast<uint64_t>(count_) <= PTRDIFF_MAX / sizeof(T), "Storage size overflows");
    elements_ = std::make_unique<T[]>(static_cast<size_t>(count_));
    clear();
  }
  SpaceStorage(const SpaceStorage&) = delete;
  SpaceStorage& operator=(const SpaceStorage&) = delete;
  // Replacing a storage swaps the allocations; the old one goes with the temporary.
  SpaceStorage& operator=(SpaceStorage&& other) noexcept {
    std::swap(elements_, other.elements_);
    std::swap(count_, other.count_);
    std::swap(zero_, other.zero_);
    return *this;
  }

  // Elements [0, count()); no bounds checking.
  T* pointer() const { return elements_.get(); }
  int64_t count() const { return count_; }
  const T& zero() const { return zero_; }
  T& operator[](int64_t index) const { return elements_[static_cast<size_t>(index)]; }

  // Writes `zero` into every element.
  void clear() { std::fill_n(elements_.get(), count_, zero_); }

private:
  std::unique_ptr<T[]> elements_;
  int64_t count_;
  T zero_;
};

// Value at frame position p ([0, 32)) of a control tick: start + step·p; `end` is reached at 32.
struct SpaceRamp {
  float start = 0;
  float end = 0;
  float step = 0;

  float value(int position) const { return start + step * static_cast<float>(position); }
  // Moves one tick toward `target` by the per-tick smoothing coefficient (0, 1].
  void advance(float target, float coefficient) {
    start = end;
    end = start + (target - start) * coefficient;
    step = (end - start) * 0.03125f;
  }
  // Flat at `target`.
  void reset(float target) {
    start = end = target;
    step = 0;
  }
};

struct SpaceSVFCoefficients {
  float a1 = 0;
  float a2 = 0;
  float a3 = 0;
  float k = 0;

  SpaceSVFCoefficients() = default;
  // The cutoff is held to [1 Hz, 0.49 × sampleRate] (a NaN cutoff designs at 1 Hz).
  SpaceSVFCoefficients(double cutoff, double q, double sampleRate);
};

struct SpaceSVFState {
  float ic1 = 0;
  float ic2 = 0;

  // One sample through the filter; returns the low-pass output.
  float lowPass(const SpaceSVFCoefficients& c, float x) {
    float band;
    return tick(c, x, band);
  }
  // One sample through the filter; returns the high-pass output.
  float highPass(const SpaceSVFCoefficients& c, float x) {
    float band;
    const float low = tick(c, x, band);
    return x - c.k * band - low;
  }

private:
  float tick(const SpaceSVFCoefficients& c, float x, float& band) {
    const float d = x - ic2;
    band = c.a1 * ic1 + c.a2 * d;
    const float low = ic2 + c.a2 * ic1 + c.a3 * d;
    ic1 = 2 * band - ic1;
    ic2 = 2 * low - ic2;
    return low;
  }
};

// Catmull-Rom read of a power-of-two delay line (`mask` = length − 1) at `delay` (>= 2) frames
// before write position `w`; every index is masked.
inline float spaceCubicRead(const float* line, int64_t mask, int64_t w, int64_t wholeDelay, float t) {
  const int64_t i = w - wholeDelay;
  const float s0 = line[(i - 2) & mask];
  const float s1 = line[(i - 1) & mask];
  const float s2 = line[i & mask];
  const float s3 = line[(i + 1) & mask];
  return s1 + t * ((s2 - s0) * 0.5f +
                   t * ((s0 - 2.5f * s1 + 2 * s2 - 0.5f * s3) + t * (1.5f * (s1 - s2) + 0.5f * (s3 - s0))));
}

inline float spaceCubicRead(const float* line, int64_t mask, int64_t w, double delay) {
  const auto whole = static_cast<int64_t>(delay);
  return spaceCubicRead(line, mask, w, whole, static_cast<float>(static_cast<double>(whole) - delay + 1));
}

inline float spaceCubicRead(const float* line, int64_t mask, int64_t w, float delay) {
  const auto whole = static_cast<int64_t>(delay);
  return spaceCubicRead(line, mask, w, whole, static_cast<float>(whole) - delay + 1);
}

// Identity within ±1; beyond, 1 + s/(s + 1) with s the excess, so the magnitude stays at most 2.
// NaN becomes 0 and an infinity ±2, so a stray non-finite sample cannot stay in a feedback loop.
inline float spaceSoftClip(float v) {
  const float magnitude = std::fabs(v);
  if (magnitude <= 1) return v;
  if (std::isnan(v)) return 0;
  if (std::isinf(v)) return std::copysign(2.0f, v);
  const float s = magnitude - 1;
  return std::copysign(1 + s / (s + 1), v);
}

// Per-tick smoothing coefficient of a glide with time constant `seconds`, for SpaceRamp::advance.
inline double spaceTickCoefficient(double seconds, double sampleRate) {
  return 1 - std::exp(-32 / std::max(seconds * sampleRate, 1e-6));
}

// Smallest power of two >= n (n >= 1).
inline int64_t spacePowerOfTwo(int64_t n) {
  int64_t size = 1;
  while (size < n) size <<= 1;
  return size;
}

} // namespace quar
