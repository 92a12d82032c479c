// Offline sample-rate conversion of a range of an AudioSource (libsoxr, very high quality).
// Long material is cut into segments of whole conversion steps that convert concurrently, each
// on its own converter with a warm-up before its start, and join without seams; the caller
// receives exactly round(target·length/sourceRate) output frames in order. Runs on the calling
// thread (plus the shared pool, which reads the source concurrently as AudioSource allows). Not
// for the audio thread. (Separate from the streaming export stage quar::Resampler of the io
// module.)
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar::dsp {

struct Resampler {
  // One segment of a conversion plan; all counts in frames.
  struct Segment {
    int64_t inputStart = 0;          // first input frame, relative to the range start
    int64_t warmupFrames = 0;        // input frames read before inputStart (0 for the first)
    int64_t warmupOutputFrames = 0;  // output frames the warm-up produces, discarded
    int64_t outputFrames = 0;        // output frames the segment delivers

    bool operator==(const Segment&) const = default;
  };

  // Fraction done in [0, 1]; returning false cancels with CancellationError.
  using Progress = std::function<bool(double fraction)>;
  // One converted block: one view per channel, all of one length, valid during the call only.
  using Emit = std::function<void(ChannelViews block)>;

  Resampler() = delete;

  // round(to·inputFrames/from), halves away from zero. Rates in Hz, both > 0.
  static int64_t outputFrameCount(int64_t inputFrames, double from, double to);

  // Converts `range` (default: the whole source; clamped to it) to `targetRate` Hz and hands the
  // result to `emit` in order. Returns normally, emitting nothing, for an empty range or a source
  // without channels. Rates that are not finite and > 0, or whose ratio lies outside
  // [1/64, 64] (isSupportedRateConversion), throw QuarError::unsupportedFormat
  // ("44100.0 Hz -> 0.0 Hz"), and an output larger than the machine's memory throws
  // QuarError::encodeFailed, both before anything is read; a converter failure throws
  // QuarError::encodeFailed. Errors from
  // `emit` propagate; blocks already emitted stay emitted. Progress is asked at 0 and after
  // every emitted block.
  static void resample(const AudioSource& source, std::optional<FrameRange> range, double targetRate,
                       const Progress& progress, const Emit& emit);
  // The same with segments of about `segmentSeconds` seconds (0 converts as one job).
  static void resample(const AudioSource& source, std::optional<FrameRange> range, double targetRate,
                       double segmentSeconds, const Progress& progress, const Emit& emit);

  // Segments for converting `frames` input frames from `from` to `to` Hz into `target` output
  // frames; nullopt when the material should convert as one job (fractional or very high
  // rates, segments shorter than one exact step, or no more than two segments' worth).
  static std::optional<std::vector<Segment>> segmentPlan(int64_t frames, double from, double to, int64_t target,
                                                         double segmentSeconds);
};

} // namespace quar::dsp
