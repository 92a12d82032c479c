// ToneBiquads: the filter design of the saturation processor's tone control, a second-order
// Butterworth lowpass (Q = 1/√2) as BiquadCoefficients. Pure function, audio-thread safe.
#pragma once

#include "dsp/BiquadCoefficients.h"

namespace quar {

struct ToneBiquads {
  // Lowpass at cutoffHz (0 < cutoffHz < sampleRate/2) for sampleRate Hz, unity gain at DC.
  static BiquadCoefficients lowPass(double cutoffHz, double sampleRate);
};

} // namespace quar
