#include "dsp/KWeighting.h"

#include <cmath>

#include "base/FiniteSample.h"

namespace quar {

BiquadCoefficients KWeighting::shelf(double sampleRate) {
  const double k = std::tan(5284.078578647628 / sampleRate);
  const double q = 0.7071752369554196;
  const double vh = 1.5848647011308556;
  const double vb = 1.2587209302325617;
  const double a0 = 1 + k / q + k * k;
  return {(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
          2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
}

BiquadCoefficients KWeighting::highPass(double sampleRate) {
  const double k = std::tan(119.8061151453059 / sampleRate);
  const double q = 0.5003270373238773;
  const double a0 = 1 + k / q + k * k;
  return {1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
}

KWeightingFilter::KWeightingFilter(double sampleRate)
    : sections_{KWeighting::shelf(sampleRate), KWeighting::highPass(sampleRate)},
      input_(initialCapacity),
      output_(initialCapacity) {}

const double* KWeightingFilter::process(const float* samples, int64_t count) {
  input_.reserve(count);
  output_.reserve(count);
  double* out = output_.pointer();
  if (count < 1) return out;
  double* in = input_.pointer();
  for (int64_t i = 0; i < count; ++i) in[i] = finiteOrZero(samples[i]);
  const BiquadCoefficients& s = sections_[0];
  const BiquadCoefficients& h = sections_[1];
  double x1 = delay_[0], x2 = delay_[1], u1 = delay_[2], u2 = delay_[3], y1 = delay_[4], y2 = delay_[5];
  for (int64_t i = 0; i < count; ++i) {
    const double x = in[i];
    const double u = s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a1 * u1 - s.a2 * u2;
    const double y = h.b0 * u + h.b1 * u1 + h.b2 * u2 - h.a1 * y1 - h.a2 * y2;
    x2 = x1;
    x1 = x;
    u2 = u1;
    u1 = u;
    y2 = y1;
    y1 = y;
    out[i] = y;
  }
  delay_ = {x1, x2, u1, u2, y1, y2};
  return out;
}

} // namespace quar
