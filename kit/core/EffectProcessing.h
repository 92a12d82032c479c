// Applying a chain of effect processors, or a time-stretch and pitch-shift, to a frame range of
// AudioContent, offline. Long-running (report progress, may be cancelled); runs on the calling
// thread and returns new content that shares every block outside the range, or throws and
// leaves nothing changed.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <span>

#include "base/EffectProcessor.h"
#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EffectTailMode.h"

namespace quar {

// The content with `range` (clamped) run through `chain` in order. Only the channels in
// `channels` (nil: all) take the processed audio; the others keep their own audio in the range
// and get silence in the tail. With `mixIntoFollowing` the chain's tail (at most 30 s) is mixed
// at 0 dB over the audio after the range, lengthening the content where it runs past the end.
// An empty chain or range returns the content unchanged without calling `progress`.
// `progress` (optional) receives the fraction done; false cancels with CancellationError.
// Throws the processors' preparation errors; the processors must not be in use elsewhere.
AudioContent applyingEffects(const AudioContent& content, std::span<EffectProcessor* const> chain, FrameRange range,
                             const std::optional<std::set<int>>& channels, EffectTailMode tail,
                             const std::function<bool(double)>& progress = {});

// The content with `range` (clamped) time-stretched by the tempo factor `rate` ([0.25, 4.0]) and
// pitch-shifted by `pitchCents` ([-2400, 2400]); everything after the range moves by the change
// in length. An empty range returns the content unchanged without calling `progress`.
// `progress` (optional) receives the fraction done; false cancels with CancellationError.
// Throws QuarError::unsupportedFormat for a rate or pitch out of range and the time-pitch unit's
// errors.
AudioContent timePitched(const AudioContent& content, FrameRange range, double rate, double pitchCents,
                         const std::function<bool(double)>& progress = {});

} // namespace quar
