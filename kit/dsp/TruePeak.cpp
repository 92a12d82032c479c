#include "dsp/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/FiniteSample.h"

namespace quar {
namespace {

constexpr int center = TruePeakInterpolator::taps / 2 - 1;  // 11: the kernels' delay
constexpr int64_t subBlock = 1024;
// Loops run over groups of this many samples with a fixed-length inner loop, which the compiler
// vectorises at -O2 (it leaves loops of unknown length scalar there).
constexpr int64_t lanes = 16;

// The zeroth-order modified Bessel function of the first kind, by its power series.
double besselI0(double z) {
  double sum = 1;
  double term = 1;
  for (int m = 1; m <= 63; ++m) {
    term *= (z / 2) / m;
    const double square = term * term;
    sum += square;
    if (square < 1e-17 * sum) break;
  }
  return sum;
}

} // namespace

float maxMagnitude(const float* x, int64_t count) {
  float partial[lanes] = {};
  int64_t i = 0;
  for (; i + lanes <= count; i += lanes)
    for (int64_t l = 0; l < lanes; ++l) partial[l] = std::max(partial[l], std::fabs(finiteOrZero(x[i + l])));
  float m = 0;
  for (float p : partial) m = std::max(m, p);
  for (; i < count; ++i) m = std::max(m, std::fabs(finiteOrZero(x[i])));
  return m;
}

TruePeakInterpolator::TruePeakInterpolator(double sampleRate) {
  factor = sampleRate < 96000 ? 4 : sampleRate < 192000 ? 2 : 1;
  if (factor == 1) {
    gainBound = 1.0001f;
    return;
  }
  constexpr double beta = 6;
  const double i0Beta = besselI0(beta);
  double bound = 1;
  for (int p = 0; p < factor; ++p) {
    std::array<double, taps> coefficients{};
    double sum = 0;
    for (int k = 0; k < taps; ++k) {
      const double x = static_cast<double>(p) / factor - (k - center);
      const double sinc = x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
      const double t = x / 12;
      const double window = std::fabs(t) >= 1 ? 0 : besselI0(beta * std::sqrt(1 - t * t)) / i0Beta;
      coefficients[static_cast<size_t>(k)] = sinc * window;
      sum += sinc * window;
    }
    Kernel kernel{};
    double absolute = 0;
    for (int k = 0; k < taps; ++k) {
      const double c = coefficients[static_cast<size_t>(k)] / sum;
      kernel[static_cast<size_t>(k)] = static_cast<float>(c);
      absolute += std::fabs(c);
    }
    phases.push_back(kernel);
    bound = std::max(bound, absolute);
  }
  gainBound = static_cast<float>(bound) * 1.0001f;
}

void TruePeakInterpolator::interpolate(int phase, const float* x, float* out, int64_t count) const {
  const Kernel& kernel = phases[static_cast<size_t>(phase)];
  // Every output sums its taps from zero in tap order, in the vectorised groups and in the
  // scalar rest alike, so results do not depend on block boundaries.
  int64_t i = 0;
  for (; i + lanes <= count; i += lanes) {
    float sums[lanes] = {};
    for (int k = 0; k < taps; ++k) {
      const float c = kernel[static_cast<size_t>(k)];
      const float* xk = x + i + k;
      for (int64_t l = 0; l < lanes; ++l) sums[l] += xk[l] * c;
    }
    std::copy(sums, sums + lanes, out + i);
  }
  for (; i < count; ++i) {
    float sum = 0;
    for (int k = 0; k < taps; ++k) sum += x[i + k] * kernel[static_cast<size_t>(k)];
    out[i] = sum;
  }
}

TruePeakDetector::TruePeakDetector(double sampleRate)
    : interpolator_(sampleRate),
      work_(static_cast<size_t>(TruePeakInterpolator::taps - 1 + workCapacity)),
      scratch_(static_cast<size_t>(workCapacity)) {}

void TruePeakDetector::reset() {
  std::fill(work_.begin(), work_.end(), 0.0f);
  samplePeak = 0;
  interPeak = 0;
}

void TruePeakDetector::prime(const float* history) {
  std::transform(history, history + TruePeakInterpolator::taps - 1, work_.begin(), finiteOrZero);
}

void TruePeakDetector::process(const float* samples, int64_t count) {
  if (count <= 0) return;
  samplePeak = std::max(samplePeak, maxMagnitude(samples, count));
  if (interpolator_.phases.empty()) return;
  constexpr int64_t history = TruePeakInterpolator::taps - 1;
  float* work = work_.data();
  for (int64_t start = 0; start < count; start += workCapacity) {
    const int64_t n = std::min(workCapacity, count - start);
    std::transform(samples + start, samples + start + n, work + history, finiteOrZero);
    float m = maxMagnitude(work + center, n);
    const float bound = std::max(m, interPeak);
    for (int64_t j = 0; j < n; j += subBlock) {
      const int64_t len = std::min(subBlock, n - j);
      if (bound > 0 && interpolator_.gainBound * maxMagnitude(work + j, len + history) <= bound) continue;
      for (int p = 0; p < interpolator_.factor; ++p) {
        interpolator_.interpolate(p, work + j, scratch_.data(), len);
        m = std::max(m, maxMagnitude(scratch_.data(), len));
      }
    }
    interPeak = std::max(interPeak, m);
    std::copy(work + n, work + n + history, work);
  }
}

} // namespace quar
