#include "dsp/effects/tone/Oversampler4x.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/Precondition.h"

namespace quar {

namespace {

// Modified Bessel function of the first kind, order 0, by its power series.
double besselI0(double x) {
  double sum = 1;
  double term = 1;
  const double quarterSquare = x * x / 4;
  for (int j = 1; j <= 63; ++j) {
    term *= quarterSquare / (static_cast<double>(j) * j);
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// Σ_p taps[p]·x[p] over `count` taps.
float dot(const float* taps, const float* x, int count) {
  float sum = 0;
  for (int p = 0; p < count; ++p) sum += taps[p] * x[p];
  return sum;
}

// Splits 2·count interleaved samples into the two phases, each written after its history.
void deinterleave(const float* input, int count, float* even, float* odd) {
  for (int t = 0; t < count; ++t) {
    even[t] = input[2 * t];
    odd[t] = input[2 * t + 1];
  }
}

} // namespace

HalfbandDesign::HalfbandDesign(int k, double attenuationDB) : length(4 * k + 3), k(k) {
  QUAR_PRECONDITION(k >= 0, "Halfband design needs k >= 0");
  const double a = attenuationDB;
  const double beta = a > 50 ? 0.1102 * (a - 8.7) : 0.5842 * std::pow(a - 21, 0.4) + 0.07886 * (a - 21);
  const double n = 4.0 * k + 2;
  const int centre = 2 * k + 1;
  const double i0Beta = besselI0(beta);
  std::vector<double> values(static_cast<size_t>(2 * k + 2));
  double sum = 0;
  for (int q = 0; q <= 2 * k + 1; ++q) {
    const int position = 2 * q;
    const double m = position - centre;
    const double ideal = std::sin(m * std::numbers::pi / 2) / (m * std::numbers::pi);
    const double x = 2 * position / n - 1;
    const double weight = besselI0(beta * std::sqrt(std::max(1 - x * x, 0.0))) / i0Beta;
    values[static_cast<size_t>(q)] = ideal * weight;
    sum += ideal * weight;
  }
  taps.reserve(values.size());
  for (double value : values) taps.push_back(static_cast<float>(value / sum * 0.5));
}

const HalfbandDesign& Oversampler4x::stage1() {
  static const HalfbandDesign design(20, 90);
  return design;
}

const HalfbandDesign& Oversampler4x::stage2() {
  static const HalfbandDesign design(5, 90);
  return design;
}

Oversampler4x::Stage::Stage(const HalfbandDesign& design, int capacity)
    : tapCount(2 * design.k + 2), k(design.k), taps(design.taps), tapsUp(design.taps),
      upInput(static_cast<size_t>(2 * design.k + 1 + capacity)), upHistory(2 * design.k + 1),
      even(static_cast<size_t>(3 * design.k + 4 + capacity)), odd(even.size()), downHistory(3 * design.k + 4),
      fir(static_cast<size_t>(capacity)) {
  QUAR_PRECONDITION(static_cast<int>(design.taps.size()) == tapCount, "Halfband design has the wrong tap count");
  for (float& tap : tapsUp) tap *= 2;
}

void Oversampler4x::Stage::upsample(int count, float* output) {
  const float* x = upInput.data() + upHistory;  // x[i] for i >= -upHistory
  for (int i = 0; i < count; ++i) fir[static_cast<size_t>(i)] = dot(tapsUp.data(), x + i - (2 * k + 1), tapCount);
  for (int i = 0; i < count; ++i) {
    output[2 * i] = fir[static_cast<size_t>(i)];
    output[2 * i + 1] = x[i - k];
  }
  std::copy_n(upInput.data() + count, upHistory, upInput.data());
}

void Oversampler4x::Stage::clear() {
  std::fill(upInput.begin(), upInput.end(), 0.0f);
  std::fill(even.begin(), even.end(), 0.0f);
  std::fill(odd.begin(), odd.end(), 0.0f);
}

Oversampler4x::Oversampler4x(int maxFrames, const HalfbandDesign& stage1, const HalfbandDesign& stage2)
    : maxFrames_(std::max(maxFrames, 1)), s1_(stage1, maxFrames_), s2_(stage2, 2 * maxFrames_),
      os_(static_cast<size_t>(4 * maxFrames_)), mid_(static_cast<size_t>(2 * maxFrames_)) {}

void Oversampler4x::upsample(int count) {
  if (count < 1) return;
  QUAR_PRECONDITION(count <= maxFrames_, "Block exceeds the oversampler's capacity");
  s1_.upsample(count, s2_.upInput.data() + s2_.upHistory);
  s2_.upsample(2 * count, os_.data());
}

void Oversampler4x::downsample(int count, float* output) {
  if (count < 1) return;
  QUAR_PRECONDITION(count <= maxFrames_, "Block exceeds the oversampler's capacity");

  // 4x -> 2x: the centre tap reads the odd phase, the branch taps the even one.
  {
    Stage& s = s2_;
    float* e = s.even.data() + s.downHistory;
    float* o = s.odd.data() + s.downHistory;
    deinterleave(os_.data(), 2 * count, e, o);
    for (int m = 0; m < 2 * count; ++m)
      mid_[static_cast<size_t>(m)] = 0.5f * o[m - s.k - 1] + dot(s.taps.data(), e + m - (2 * s.k + 1), s.tapCount);
    std::copy_n(s.even.data() + 2 * count, s.downHistory, s.even.data());
    std::copy_n(s.odd.data() + 2 * count, s.downHistory, s.odd.data());
  }
  // 2x -> base: the opposite phases, which makes the whole passage an integer delay.
  {
    Stage& s = s1_;
    float* e = s.even.data() + s.downHistory;
    float* o = s.odd.data() + s.downHistory;
    deinterleave(mid_.data(), count, e, o);
    for (int m = 0; m < count; ++m)
      output[m] = 0.5f * e[m - s.k - 1] + dot(s.taps.data(), o + m - (2 * s.k + 2), s.tapCount);
    std::copy_n(s.even.data() + count, s.downHistory, s.even.data());
    std::copy_n(s.odd.data() + count, s.downHistory, s.odd.data());
  }
}

void Oversampler4x::clear() {
  s1_.clear();
  s2_.clear();
}

} // namespace quar
