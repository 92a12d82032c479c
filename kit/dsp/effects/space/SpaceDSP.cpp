#include "dsp/effects/space/SpaceDSP.h"

#include <numbers>

namespace quar {

SpaceSVFCoefficients::SpaceSVFCoefficients(double cutoff, double q, double sampleRate) {
  const double fc = std::fmin(std::fmax(cutoff, 1.0), 0.49 * sampleRate);
  const double g = std::tan(std::numbers::pi * fc / sampleRate);
  const double damping = 1 / q;
  const double b1 = 1 / (1 + g * (g + damping));
  const double b2 = g * b1;
  a1 = static_cast<float>(b1);
  a2 = static_cast<float>(b2);
  a3 = static_cast<float>(g * b2);
  k = static_cast<float>(damping);
}

} // namespace quar
