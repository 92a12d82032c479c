// Tempo detection: the tempo (BPM), beat phase and bar downbeat of a range of an AudioSource,
// with a confidence in [0, 1]. Works on an onset-strength envelope (spectral flux, one value per
// 512 frames), picks the beat period by autocorrelation weighted by a tempo prior around
// 120 BPM, refines period and phase on a fine grid and places the downbeat on the beat slot
// with the most energy. Pure function of its input; allocates, so run it off the audio thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar {

struct TempoEstimate {
  double bpm = 0;
  int64_t downbeatFrame = 0;   // earliest downbeat at or after frame 0 of the source
  int64_t firstBeatFrame = 0;  // earliest beat at or after frame 0 of the source
  double confidence = 0;       // [0, 1]

  bool operator==(const TempoEstimate&) const = default;
};

struct TempoDetector {
  struct BPMRange {
    double lowerBound;
    double upperBound;
  };
  // Tempi the analysis covers: beat lags of 0.3 s to 1 s.
  static constexpr BPMRange bpmRange{60, 200};

  TempoDetector() = delete;

  // Estimate for `range` (default: the whole source; clamped to it), analysing at most the
  // middle `maxSeconds` of it. beatsPerBar below 1 counts as 1. nullopt when there is too little
  // audio (under about 0.7 s at 48 kHz) or the source has no usable sample rate. An onset at the
  // start of the source is a beat like any other. `progress` (optional) gets the fraction done
  // every few milliseconds of work; false throws CancellationError.
  static std::optional<TempoEstimate> detect(const AudioSource& source, std::optional<FrameRange> range,
                                             int beatsPerBar, double maxSeconds,
                                             const std::function<bool(double fraction)>& progress = {});
  // Onset strength in [0, 1], one value per hop of 512 frames (empty for 2048 frames or fewer).
  static std::vector<float> onsetEnvelope(const AudioSource& source, std::optional<FrameRange> range);
};

} // namespace quar
