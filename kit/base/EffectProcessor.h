// EffectProcessor: the interface of every real-time effect (built-in processors and hosted
// plug-ins). prepare() sizes all state; process() then runs in place on planar blocks of up to
// maxFrames frames and must allocate and lock nothing (it runs on the audio thread).
// One instance is never used from two threads at once.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "base/QuarError.h"

namespace quar {

class EffectProcessor {
public:
  virtual ~EffectProcessor() = default;

  // Sizes all state for this format; may throw. Called again whenever the format changes.
  // Any sample rate is accepted: the built-in processors run at preparedSampleRate(sampleRate).
  virtual void prepare(double sampleRate, int channelCount, int maxFrames) = 0;
  // Processes `frameCount` ([1, maxFrames]) frames of `channelCount` planar channels in place.
  virtual void process(float* const* channels, int channelCount, int frameCount) = 0;
  // Returns running state to its initial values; the next block behaves as the first.
  virtual void reset() = 0;
  // Frames of output still produced after the input ends; a negative value counts as 0.
  virtual int64_t tailFrames() const = 0;
  // Frames by which the output lags the input.
  virtual int64_t latencyFrames() const = 0;
};

// The rate (Hz) the built-in processors run at when prepared for `sampleRate`: 48000 for a
// rate that is not finite and > 0, otherwise the rate clamped to [1, 768000] Hz, which keeps
// rate-sized state (delay lines, transforms) within bounds.
inline double preparedSampleRate(double sampleRate) {
  if (!(std::isfinite(sampleRate) && sampleRate > 0)) return 48000;
  return std::clamp(sampleRate, 1.0, 768000.0);
}

// Optional interface of processors that report their current gain reduction (readable from
// any thread).
class GainReductionMetering {
public:
  virtual ~GainReductionMetering() = default;
  // Gain reduction in dB as of the last processed block or reset.
  virtual float gainReductionDB() const = 0;
};

// Optional interface of processors whose blocks can fail (hosted plug-ins). A failed block
// passes through unprocessed and is counted; live playback ignores the count, while offline
// rendering must call renderFailure() after its last block and throw what it returns, so that a
// dry pass never counts as a finished edit.
class RenderFailureCounting {
public:
  virtual ~RenderFailureCounting() = default;
  // Blocks that failed since the last prepare() (readable from any thread).
  virtual int64_t renderFailureCount() const = 0;
  // None when no block failed since the last prepare(); else QuarError::encodeFailed with
  // "“<name>” failed to render (status N)", N the status of the last failure.
  virtual std::optional<QuarError> renderFailure() const = 0;
};

} // namespace quar
