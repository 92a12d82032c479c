// Loudness normalisation: LoudnessNormalization::plan turns a measurement into the gain that
// reaches a target loudness and says whether that gain would push the true peak over a ceiling;
// TruePeakLimiter::render applies a gain to a range of any source with an offline look-ahead
// limiter that keeps samples and inter-sample peaks at or below a ceiling in dBTP. Both run on
// the caller's thread (the limiter spreads channels over parallelFor) and allocate their work
// memory once per call.
#pragma once

#include <cstdint>
#include <functional>

#include "base/AudioSource.h"
#include "base/FrameRange.h"
#include "dsp/Loudness.h"

namespace quar {

struct LoudnessNormalization {
  LoudnessNormalization() = delete;

  struct Plan {
    double gainDB = 0;
    double predictedIntegratedLUFS = 0;
    double predictedTruePeakDBTP = 0;  // after the gain, before any limiting
    bool needsLimiting = false;

    bool operator==(const Plan&) const = default;
  };

  // Without a finite integrated loudness (silence) the gain is 0 and the measurement is kept.
  static Plan plan(const LoudnessResult& result, double targetLUFS, double ceilingDBTP);
};

struct TruePeakLimiter {
  TruePeakLimiter() = delete;

  static constexpr int64_t chunkFrames = 65536;

  // Emits `range` (clamped to the source) multiplied by the pre-gain and limited to
  // `ceilingDBTP`, in order, in chunks of at most chunkFrames frames (views valid only during the
  // call). Audio outside the range counts as silence, and so does a NaN or infinite sample for
  // the gain, while the sample itself is only multiplied. Gain reductions start up to about two
  // look-aheads early and recover with the release time; audio that stays under the ceiling
  // comes out exactly pre-gained. `progress` gets the fraction done, starting with 0; false
  // throws CancellationError. Errors thrown by `emit` propagate. lookaheadMs must be finite.
  static void render(const AudioSource& source, FrameRange range, double preGainDB, double ceilingDBTP,
                     double lookaheadMs, double releaseMs, const std::function<bool(double)>& progress,
                     const std::function<void(ChannelViews chunk)>& emit);
};

} // namespace quar

template <>
struct std::hash<quar::LoudnessNormalization::Plan> {
  size_t operator()(const quar::LoudnessNormalization::Plan& p) const noexcept {
    const std::hash<double> h;
    return ((h(p.gainDB) * 31 + h(p.predictedIntegratedLUFS)) * 31 + h(p.predictedTruePeakDBTP)) * 31 +
           static_cast<size_t>(p.needsLimiting);
  }
};
