// NoiseProfile: a learnt noise spectrum, the mean noise power of each frequency bin of an
// fftSize-point transform (fftSize/2 + 1 bins when learnt) measured at sampleRate Hz. Carried in
// the noise-reduction settings. Plain value; JSON form and hashing: EffectSettings.h.
#pragma once

#include <cstdint>
#include <vector>

namespace quar {

struct NoiseProfile {
  int64_t fftSize = 0;
  double sampleRate = 0;  // Hz
  std::vector<float> binPower;

  bool operator==(const NoiseProfile&) const = default;
};

} // namespace quar
