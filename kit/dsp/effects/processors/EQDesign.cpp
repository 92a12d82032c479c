#include "dsp/effects/processors/EQDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/Numbers.h"

namespace quar {

namespace {

BiquadCoefficients normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

} // namespace

int EQDesign::cutSections(int64_t slopeDBPerOctave) {
  return static_cast<int>(clamped(std::round(static_cast<double>(slopeDBPerOctave) / 12.0), 1.0, 4.0));
}

BiquadCascade4 EQDesign::band(EQBandType type, double frequency, double gainDB, double q, int64_t slope,
                              double sampleRate) {
  q = std::isfinite(q) ? clamped(q, 0.025, 40.0) : 0.707;
  gainDB = std::isfinite(gainDB) ? clamped(gainDB, -48.0, 48.0) : 0.0;
  frequency = std::isfinite(frequency) ? std::max(frequency, 5.0) : 1000.0;
  frequency = std::min(frequency, 0.49 * sampleRate);

  const double w0 = 2 * std::numbers::pi * frequency / sampleRate;
  const double cosW0 = std::cos(w0);
  const double sinW0 = std::sin(w0);
  const double alpha = sinW0 / (2 * q);
  const double a = std::pow(10.0, gainDB / 40);
  const double beta = 2 * std::sqrt(a) * alpha;

  BiquadCascade4 cascade;
  BiquadCoefficients& first = cascade.sections[0];
  switch (type) {
    case EQBandType::peak:
      first = normalised(1 + alpha * a, -2 * cosW0, 1 - alpha * a, 1 + alpha / a, -2 * cosW0, 1 - alpha / a);
      break;
    case EQBandType::notch:
      first = normalised(1, -2 * cosW0, 1, 1 + alpha, -2 * cosW0, 1 - alpha);
      break;
    case EQBandType::lowShelf:
      first = normalised(a * ((a + 1) - (a - 1) * cosW0 + beta), 2 * a * ((a - 1) - (a + 1) * cosW0),
                         a * ((a + 1) - (a - 1) * cosW0 - beta), (a + 1) + (a - 1) * cosW0 + beta,
                         -2 * ((a - 1) + (a + 1) * cosW0), (a + 1) + (a - 1) * cosW0 - beta);
      break;
    case EQBandType::highShelf:
      first = normalised(a * ((a + 1) + (a - 1) * cosW0 + beta), -2 * a * ((a - 1) + (a + 1) * cosW0),
                         a * ((a + 1) + (a - 1) * cosW0 - beta), (a + 1) - (a - 1) * cosW0 + beta,
                         2 * ((a - 1) - (a + 1) * cosW0), (a + 1) - (a - 1) * cosW0 - beta);
      break;
    case EQBandType::lowCut:
    case EQBandType::highCut: {
      const int n = cutSections(slope);
      cascade.count = n;
      const double sinHalf = std::sin(w0 / 2);
      const double oneMinusCos = 2 * sinHalf * sinHalf;
      for (int k = 1; k <= n; ++k) {
        double qk = 1 / (2 * std::cos((2 * k - 1) * std::numbers::pi / (4 * n)));
        if (k == n) qk *= q * std::numbers::sqrt2;
        const double alphaK = sinW0 / (2 * qk);
        const double a0 = 1 + alphaK;
        if (type == EQBandType::highCut)
          cascade.sections[k - 1] =
              normalised(oneMinusCos / 2, oneMinusCos, oneMinusCos / 2, a0, -2 * cosW0, 1 - alphaK);
        else
          cascade.sections[k - 1] =
              normalised((1 + cosW0) / 2, -(1 + cosW0), (1 + cosW0) / 2, a0, -2 * cosW0, 1 - alphaK);
      }
      break;
    }
  }
  return cascade;
}

} // namespace quar
