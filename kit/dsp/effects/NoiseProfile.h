// NoiseProfile: a learnt noise spectrum, the mean noise power of each frequency bin of an
// fftSize-point transform (fftSize/2 + 1 bins when learnt) measured at sampleRate Hz. Carried in
// the noise-reduction settings. Plain value; JSON form and hashing: EffectSettings.h. learn()
// measures one from audio; it allocates, so run it off the audio thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar {

struct NoiseProfile {
  int64_t fftSize = 0;
  double sampleRate = 0;  // Hz
  std::vector<float> binPower;

  // The mean power per bin of Hann-windowed frames (75 % overlap) of `range` (default: the whole
  // source; clamped to it), averaged over channels. The transform size is fftSize rounded to a
  // power of two in [256, 65536]. Powers are normalised so that white noise of variance σ²
  // reads σ² in every bin. A range shorter than the transform is one zero-padded frame; an empty
  // range gives all zeros.
  static NoiseProfile learn(const AudioSource& source, std::optional<FrameRange> range, int64_t fftSize);

  bool operator==(const NoiseProfile&) const = default;
};

} // namespace quar
