#include "dsp/effects/tone/ToneBiquads.h"

#include <cmath>
#include <numbers>

namespace quar {

BiquadCoefficients ToneBiquads::lowPass(double cutoffHz, double sampleRate) {
  const double w = 2 * std::numbers::pi * cutoffHz / sampleRate;
  const double alpha = std::sin(w) / std::numbers::sqrt2;
  const double a0 = 1 + alpha;
  const double halfSine = std::sin(w / 2);
  BiquadCoefficients c;
  c.b1 = 2 * halfSine * halfSine / a0;
  c.b0 = c.b1 / 2;
  c.b2 = c.b1 / 2;
  c.a1 = -2 * std::cos(w) / a0;
  c.a2 = (1 - alpha) / a0;
  return c;
}

} // namespace quar
