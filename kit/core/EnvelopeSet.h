// EnvelopeSet: a document's non-destructive gains: a master envelope for every channel, one
// envelope per channel and a static trim per channel (dB, -24 ... +24); a channel's gain is the
// sum in dB of the three. Plain value; fillLinearGains is safe on the audio thread.
// EnvelopedSource: content read with a set's gains multiplied in (for saving and export);
// reading allocates unless the set is flat. applyingEnvelopes bakes a set into new content.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"
#include "base/Json.h"
#include "core/AudioContent.h"
#include "core/GainEnvelope.h"

namespace quar {

struct EnvelopeSet {
  GainEnvelope master;
  // Entry c belongs to channel c; missing entries count as envelopes without points.
  std::vector<GainEnvelope> channels;
  // Entry c is channel c's trim in dB; empty or as long as the last channel count set.
  std::vector<double> trimDB;

  // True when every envelope is flat and every |trim| is below 0.000001 dB.
  bool isFlat() const;
  // True when no envelope has points and every |trim| is below 0.000001 dB.
  bool isEmpty() const;
  // Channel c's trim in dB (0 beyond the array).
  double trim(int channel) const;
  // Resets the trims to channelCount zeros when their count differs, then sets channel c's
  // trim, clamped to -24 ... +24, when c < channelCount.
  void setTrim(int channel, double db, int channelCount);
  // The master (no channel) or channel c's envelope; one without points beyond the array.
  GainEnvelope envelope(std::optional<int> channel) const;
  // Replaces the master (no channel) or channel c's envelope, growing the array as needed.
  void setEnvelope(std::optional<int> channel, GainEnvelope envelope);

  // The channel's combined gain in dB at a frame position.
  double gainDB(int channel, double position) const;
  // Writes the channel's combined linear gain for every frame of `range` to `out`, using
  // `scratch` for the channel curve; both hold at least range.count() values. Allocates nothing.
  void fillLinearGains(int channel, FrameRange range, std::span<float> out, std::span<float> scratch) const;

  // Every envelope adjusted (GainEnvelope::adjusted) or scaled; trims unchanged.
  EnvelopeSet adjusted(FrameRange replaced, int64_t newLength) const;
  EnvelopeSet scaled(double factor) const;
  // Keeps the master; keeps channel envelopes and trims only when they have exactly
  // `channelCount` entries.
  EnvelopeSet fitted(int channelCount) const;

  bool operator==(const EnvelopeSet&) const = default;
};

class EnvelopedSource final : public AudioSource {
public:
  EnvelopedSource(AudioContent content, EnvelopeSet envelopes);
  // A set with `envelope` as its master and nothing else.
  EnvelopedSource(AudioContent content, GainEnvelope envelope);

  AudioContent content;
  EnvelopeSet envelopes;

  int channelCount() const override { return content.channelCount(); }
  double sampleRate() const override { return content.sampleRate(); }
  int64_t frameCount() const override { return content.frameCount(); }
  // The content's samples times each channel's combined gain; no allocation when flat.
  void read(FrameRange range, std::span<float* const> destinations) const override;
};

// New content with the set's gains applied; a flat set returns `content` itself (blocks shared).
// `progress` (optional) gets the fraction done; false throws CancellationError.
AudioContent applyingEnvelopes(const AudioContent& content, const EnvelopeSet& envelopes,
                               const std::function<bool(double)>& progress = {});
// The same with `envelope` as the set's master.
AudioContent applyingEnvelope(const AudioContent& content, const GainEnvelope& envelope);

// {"master": envelope, "channels": [envelope], "trimDB": [Double]}, all required.
void to_json(Json& json, const EnvelopeSet& set);
void from_json(const Json& json, EnvelopeSet& set);

} // namespace quar

template <>
struct std::hash<quar::EnvelopeSet> {
  size_t operator()(const quar::EnvelopeSet& set) const noexcept;
};
