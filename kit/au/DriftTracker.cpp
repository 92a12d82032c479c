#include "au/DriftTracker.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace quar {

namespace {

constexpr double maxCorrection = 0.02;
constexpr double minEnergy = 1e-12;

int64_t clickPeriod(double rate, double sampleRate) {
  return std::max<int64_t>(1, roundedInt(rate * (std::max(sampleRate / 44100, 1.0) * 16384)));
}

} // namespace

DriftTracker::DriftTracker(double rate_, double sampleRate, Mode mode, int64_t reportedLatency)
    : rate(rate_), period(clickPeriod(rate_, sampleRate)),
      halfWindow(checkedInt(static_cast<double>(period) / rate_ * 0.45)), horizon(sampleRate + sampleRate),
      estimate(mode.knownFrames.value_or(reportedLatency)) {
  if (mode.knownFrames) reference_ = static_cast<double>(*mode.knownFrames);
}

int64_t DriftTracker::centre(int64_t click) const {
  return roundedInt(static_cast<double>(click * period) / rate) + estimate;
}

bool DriftTracker::consume(const float* samples, int64_t start, int64_t count) {
  if (count < 1) return false;
  const double spacing = static_cast<double>(period) / rate;
  bool updated = false;
  int64_t j = 0;
  while (j < count) {
    const double expected = static_cast<double>(click_ * period) / rate;
    const int64_t lo = centre(click_) - halfWindow, hi = windowEnd(click_);
    const int64_t pos = start + j;
    if (pos < lo) {
      j += std::min(lo - pos, count - j);
      continue;
    }
    if (pos < hi) {
      const int64_t end = std::min(j + (hi - pos), count);
      for (int64_t i = j; i < end; ++i) {
        const double x = samples[i];
        num_ += x * x * static_cast<double>(start + i);
        den_ += x * x;
      }
      j = end;
      if (start + end < hi) return updated;
    }
    if (den_ > minEnergy) {
      const double offset = num_ / den_ - expected;
      offsets_.push_back(offset);
      if (!reference_) reference_ = offset;
      const double err = offset - *reference_;
      integral_ = clamped(integral_ + spacing * err / (horizon * horizon), -maxCorrection, maxCorrection);
      correction_ = clamped(err / horizon + integral_, -maxCorrection, maxCorrection);
      updated = true;
    }
    num_ = den_ = 0;
    ++click_;
  }
  return updated;
}

} // namespace quar
