// EQDesign: the equaliser's band designer. One band (frequency in Hz, gain in dB, slope in dB
// per octave) becomes a cascade of one to four biquad sections (BiquadCascade4), designed in
// double precision. Pure functions without allocation, safe on the audio thread.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/BiquadCoefficients.h"
#include "dsp/effects/EQSettings.h"

namespace quar {

// Up to four sections in processing order; sections at and after `count` are identity.
struct BiquadCascade4 {
  int count = 1;
  std::array<BiquadCoefficients, 4> sections{};

  bool operator==(const BiquadCascade4&) const = default;
};

struct EQDesign {
  EQDesign() = delete;

  // Sections of the cut types: round(slope / 12) with halves away from zero, within [1, 4].
  static int cutSections(int64_t slopeDBPerOctave);

  // Designs one band. q falls back to 0.707 when not finite and is clamped to [0.025, 40]; gain
  // to 0 and [−48, 48] dB (ignored by notch and the cuts); frequency to 1000 Hz, then at least
  // 5 Hz and at most 0.49 × sampleRate (sampleRate > 0). Peak, notch and shelves are one
  // section; the cuts are Butterworth cascades of cutSections(slope) sections whose last
  // section's Q is scaled by q·√2, so q = 0.707 keeps them Butterworth.
  static BiquadCascade4 band(EQBandType type, double frequency, double gainDB, double q, int64_t slope,
                             double sampleRate);

  // True when the section passes its input unchanged: b0 = 1, b1 = a1 and b2 = a2.
  static bool isFlat(const BiquadCoefficients& section) {
    return section.b0 == 1 && section.b1 == section.a1 && section.b2 == section.a2;
  }
};

} // namespace quar
