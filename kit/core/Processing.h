// Editing operations on AudioContent: gain, fades, gain ramps, mixing, peak measurement and
// normalisation, polarity, silence, DC offset, reversal, channel layout and zero crossings.
// Each returns new content (or a measurement) and leaves the argument unchanged; blocks outside
// the touched range stay shared. Ranges are half-open frames, nil = the whole content, clamped
// to the content; a channel set of nil means every channel, indices outside the content are
// ignored. Gains are in dB. They run on the caller's thread and allocate; not for the audio
// thread. Those a job runs over a whole file take an optional `progress` callback: it gets the
// fraction done every few milliseconds of work, and false stops the operation with
// CancellationError. Measurements (peaks, DC offset) count a NaN or infinite sample as 0, so
// normalisation and DC removal treat the other samples as they would without it.
// Results that would not fit in the machine's memory (mixing far past the end, up-mixing to very
// many channels) throw QuarError::encodeFailed before allocating; frame arithmetic that
// overflows Int (mixing's end, the zero-crossing window) stops the program.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/FadeShape.h"

namespace quar {

using ChannelSet = std::optional<std::set<int>>;
using ProcessingProgress = std::function<bool(double fraction)>;

// Adds `other` (same channel count) times the gain, starting at `frame`. The content grows to
// frame + other.frameCount() when shorter; frames of `other` before frame 0 are dropped.
AudioContent mixing(const AudioContent& content, const AudioContent& other, int64_t frame, double clipGainDB);

AudioContent applyingGain(const AudioContent& content, double db, std::optional<FrameRange> range = std::nullopt,
                          const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// The curve runs over `range` as given (silent first frame for a fade-in, unity last frame),
// even where the range reaches past the content.
AudioContent applyingFade(const AudioContent& content, FadeDirection direction, FadeShape shape, FrameRange range,
                          const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// Gain linear in dB from fromDB on the range's first frame to toDB on its last.
AudioContent applyingGainRamp(const AudioContent& content, double fromDB, double toDB, FrameRange range,
                              const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// The largest absolute sample per channel (linear); 0 for an empty range.
std::vector<float> samplePeaks(const AudioContent& content, std::optional<FrameRange> range = std::nullopt);

// Scales the selected channels so that their peak reaches toDB: each channel on its own
// (silent channels untouched), or all by one gain set by the loudest selected channel.
AudioContent normalizingPeak(const AudioContent& content, double toDB, std::optional<FrameRange> range = std::nullopt,
                             const ChannelSet& channels = std::nullopt, bool independentChannels = false,
                             const ProcessingProgress& progress = {});

AudioContent inverted(const AudioContent& content, std::optional<FrameRange> range = std::nullopt,
                      const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// Zeroes the range. With every channel selected the range is replaced by new silent blocks.
AudioContent silenced(const AudioContent& content, FrameRange range, const ChannelSet& channels = std::nullopt,
                      const ProcessingProgress& progress = {});

// The mean sample value per channel over the range; 0 per channel when it is empty.
std::vector<double> dcOffsets(const AudioContent& content, std::optional<FrameRange> range = std::nullopt);

// Subtracts each selected channel's mean over the range from that range.
AudioContent removingDCOffset(const AudioContent& content, std::optional<FrameRange> range = std::nullopt,
                              const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// Reverses the range in time on the selected channels; the others stay as they are.
AudioContent reversed(const AudioContent& content, std::optional<FrameRange> range = std::nullopt,
                      const ChannelSet& channels = std::nullopt, const ProcessingProgress& progress = {});

// The whole content with `channelCount` (>= 1) channels: up-mixing repeats the source channels
// cyclically, down-mixing averages channels j, j + k, j + 2k, ... into output j. No level
// compensation.
AudioContent remixed(const AudioContent& content, int channelCount, const ProcessingProgress& progress = {});

// Only the range, with output channel i holding source channel order[i]. `order` must be
// non-empty with every entry a channel of the content (entries may repeat).
AudioContent rearrangingChannels(const AudioContent& content, const std::vector<int>& order,
                                 std::optional<FrameRange> range = std::nullopt);

// The frame within ±radius of `frame` nearest to it where the channel sum is 0 or changes
// sign (the earlier one on a tie); `frame` itself when there is none.
int64_t nearestZeroCrossing(const AudioContent& content, int64_t frame, int64_t radius);

} // namespace quar
