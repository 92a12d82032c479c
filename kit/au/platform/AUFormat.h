// AUFormat: puts a plug-in unit into the state a render lane needs: deinterleaved 32-bit float
// buses at a rate and channel count, a frame limit, render resources allocated. Called on the
// thread that owns the unit, never while it renders.
#pragma once

#include <cstdint>
#include <optional>

#include "au/platform/PlatformUnit.h"

namespace quar {

struct AUFormat {
  // Deinterleaved float at the rate; more than two channels carry the discrete-in-order layout
  // tag. None for 0 channels, a rate that is not finite and positive, or a count the layout
  // cannot hold. Counts run from 0 to 2^32 - 1.
  static std::optional<AudioStreamFormat> make(double sampleRate, int64_t channels);
  // Deallocates, sets input bus 0 (when inChannels >= 1) and output bus 0, the frame limit
  // max(maxFrames, 1), and allocates. Throws QuarError::unsupportedFormat for an output format
  // that cannot be made or a missing bus; the unit's own PlatformError otherwise. A failure leaves
  // the render resources deallocated.
  static void configure(PlatformUnit& unit, double sampleRate, int64_t inChannels, int64_t outChannels,
                        int64_t maxFrames);
};

} // namespace quar
