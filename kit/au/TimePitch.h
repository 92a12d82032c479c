// TimePitch: offline time-stretch and pitch-shift of a range of any audio source through the
// time-pitch unit, handed to the caller in chunks of at most 4096 frames. The unit's start delay
// (priming) is measured once per sample rate, rate and pitch and cached for the process; the
// output starts at the first source frame and is exactly round(count / rate) frames long.
// render calls emit and progress on the calling thread (a background job) and allocates; the
// units render on it, on the worker pool and on a pilot thread of the stretcher's own.
// primingFrames may be called from any thread (the cache is locked only to look up and store).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar {

struct TimePitch {
  // A closed range of doubles.
  struct Limits {
    double lowerBound, upperBound;
    bool contains(double x) const { return x >= lowerBound && x <= upperBound; }
  };
  // Tempo factor: 2 plays twice as fast and halves the length.
  static constexpr Limits rateRange{0.25, 4.0};
  // Pitch shift in cents.
  static constexpr Limits pitchRange{-2400, 2400};
  static constexpr int64_t blockSize = 4096;  // frames per emitted chunk, at most

  // The priming cache's key. Equal when the three fields are; -0 and +0 are one key.
  struct PrimingKey {
    double sampleRate, rate, pitchCents;
    bool operator==(const PrimingKey&) const = default;
  };
  struct PrimingKeyHash {
    size_t operator()(const PrimingKey& key) const;
  };

  // Throws QuarError::unsupportedFormat for a rate outside rateRange or a pitch outside
  // pitchRange, non-finite values included.
  static void validate(double rate, double pitchCents);

  // inputFrames / rate rounded, halves away from zero.
  static int64_t outputFrameCount(int64_t inputFrames, double rate);

  // Renders `range` (nil: the whole source; not clamped) at `rate` and `pitchCents` and calls
  // `emit` with each chunk, one view per source channel, valid only during the call. Returns the
  // frames emitted: outputFrameCount of the range, or 0 (nothing emitted, no progress) when that
  // is below 1 or the source has no channels. `progress` (optional) gets the fraction emitted
  // after each chunk, 1.0 last (and 0 while the priming is measured); false throws
  // CancellationError after that chunk. Throws
  // QuarError::unsupportedFormat for a rate outside rateRange or a pitch outside pitchRange
  // (non-finite included) and QuarError::encodeFailed for an output larger than the machine's
  // memory, before making any unit; the unit's errors and those of `emit` propagate unchanged.
  static int64_t render(const AudioSource& source, std::optional<FrameRange> range, double rate, double pitchCents,
                        const std::function<bool(double)>& progress, const std::function<void(ChannelViews)>& emit);

  // The number of leading output frames of the unit to discard at these settings: measured on a
  // click track the first time, then taken from the process-wide cache. `progress` (optional) is
  // given 0 after every block of a measurement; false throws CancellationError. Throws what
  // building or rendering the measuring stretcher throws; nothing is cached then.
  static int64_t primingFrames(double sampleRate, double rate, double pitchCents,
                               const std::function<bool(double)>& progress = {});
};

} // namespace quar
