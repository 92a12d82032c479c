// Signal statistics of a range of an AudioSource, per channel: sample peak (linear magnitude)
// and the first frame reaching it, RMS level (linear) and DC offset (mean), a NaN or infinite
// sample counted as 0. Pure function of its input; runs on the caller's thread and the shared
// worker pool, which read the source concurrently; not meant for the audio thread (it allocates).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar {

// One entry per channel in every field.
struct SignalStats {
  std::vector<float> peak;        // largest |sample|, 0 for silence
  std::vector<double> rms;        // root mean square
  std::vector<double> dcOffset;   // arithmetic mean
  std::vector<int64_t> peakFrame; // absolute frame of the first sample reaching the peak

  bool operator==(const SignalStats&) const = default;
};

struct SignalAnalysis {
  SignalAnalysis() = delete;

  // Statistics of `range` (default: the whole source; clamped to it). Silence reports its peak
  // at the range's first frame; an empty range gives zeros everywhere (peakFrame 0). `progress`
  // (optional) gets the fraction done every few milliseconds of work; false throws
  // CancellationError.
  static SignalStats stats(const AudioSource& source, std::optional<FrameRange> range = std::nullopt,
                           const std::function<bool(double fraction)>& progress = {});
};

} // namespace quar
