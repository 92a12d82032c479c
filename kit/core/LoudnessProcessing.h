// Loudness adjustment of content: applies a normalisation plan to a range, as a plain gain or
// through the true-peak limiter, measuring the limited result and correcting the gain until the
// integrated loudness (LUFS) lands within a tolerance (LU) of the target. Runs on the caller's
// thread and allocates; returns new content sharing every block outside the range.
#pragma once

#include <functional>
#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "dsp/Limiter.h"

namespace quar {

// The gain search of adjustingLoudness: secant steps on the measured response, never less
// steep than the plain gain (1 dB per LU) and at most four times as steep.
class LoudnessGainSearch {
public:
  // maxPasses >= 1.
  LoudnessGainSearch(double planGainDB, double targetLUFS, double tolerance, int maxPasses);

  // The gain (dB) of the current pass.
  double gainDB() const { return gain_; }
  int pass() const { return pass_; }
  // Takes the current pass's measured integrated loudness. Returns false when the search ends
  // with this pass (on target, unmeasurable, gain beyond the plan's + 12 dB, or the last pass);
  // otherwise moves to the next pass and its gain.
  bool advance(double measuredLUFS);

private:
  double planGain_;
  double target_;
  double tolerance_;
  int maxPasses_;
  int pass_ = 0;
  double gain_;
  double previousGain_ = 0;
  double previousMeasured_ = 0;
};

// Applies `plan` to `range` (clamped to the content). Without `limit` or when the plan needs no
// limiting this is applyingGain with the plan's gain. Otherwise each pass limits the original
// audio at the pass's gain to `ceilingDBTP` (2 ms look-ahead, 80 ms release) and, with a target,
// measures it and searches on (at most maxPasses >= 0 passes; 0 returns the content unchanged).
// The last pass's audio is the result. `progress` gets the fraction done; false throws
// CancellationError.
AudioContent adjustingLoudness(const AudioContent& content, FrameRange range, const LoudnessNormalization::Plan& plan,
                               std::optional<double> targetLUFS, double ceilingDBTP, bool limit, double tolerance,
                               int maxPasses, const std::function<bool(double)>& progress = {});

} // namespace quar
