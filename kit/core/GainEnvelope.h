// GainEnvelope: a breakpoint curve of gain in dB over frames, linear in dB between points and
// holding the nearest point's gain outside them; edits keep gains within -60 ... +24 dB and
// frames unique. EnvelopePoint: one breakpoint with its identifier. Plain values; only
// fillLinearGains is meant for the audio thread (it allocates nothing).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/FrameRange.h"
#include "base/Json.h"
#include "base/Uuid.h"

namespace quar {

struct EnvelopePoint {
  Uuid id;
  int64_t frame = 0;
  double gainDB = 0;  // dB

  // A point with a fresh identifier; the gain is stored as given.
  EnvelopePoint(int64_t frame, double gainDB) : id(Uuid::random()), frame(frame), gainDB(gainDB) {}
  EnvelopePoint(Uuid id, int64_t frame, double gainDB) : id(id), frame(frame), gainDB(gainDB) {}

  bool operator==(const EnvelopePoint&) const = default;
};

class GainEnvelope {
public:
  struct Bounds {
    double lowerBound;
    double upperBound;
  };
  // The gains (dB, closed) that the editing operations store.
  static constexpr Bounds gainRange{-60.0, 24.0};

  // Points in ascending frame order.
  std::vector<EnvelopePoint> points;

  GainEnvelope() = default;
  // Stable-sorts the points by frame; neither clamps nor removes duplicates.
  explicit GainEnvelope(std::vector<EnvelopePoint> points);

  // True when every point's |gain| is below 0.000001 dB (an envelope without points is flat).
  bool isFlat() const;
  // The gain in dB at a (possibly fractional) frame position.
  double gainDB(double position) const;
  // Writes the linear gain 10^(dB/20) of every frame of `range` to out[0], …, out[range.count() − 1].
  // `out` must hold at least range.count() values and the range at most 2^31 - 1 frames.
  // Allocates nothing.
  void fillLinearGains(FrameRange range, std::span<float> out) const;

  // Adds a point (gain clamped to gainRange), replacing any point on the same frame; returns
  // the new point's identifier.
  Uuid insert(int64_t frame, double gainDB);
  // Sets the point's gain (clamped) and, when given, its frame, clamped to stay strictly
  // between its neighbours (a neighbour's frame ± 1 that overflows Int stops the program).
  // Unknown identifiers are ignored.
  void move(const Uuid& id, std::optional<int64_t> toFrame, double gainDB);
  // Removes every point with this identifier.
  void remove(const Uuid& id);
  void removeAll() { points.clear(); }
  // Pins the curve at section.lower - ramp (when not negative), the section's ends and
  // section.upper + ramp without changing its shape; returns the identifiers of the points
  // within the section, both ends included, in frame order. An empty section changes nothing.
  // Here and in adjusted, frame arithmetic that overflows Int stops the program.
  std::vector<Uuid> prepareSpan(FrameRange section, int64_t ramp);
  // The envelope moved along with an edit that replaced `replaced` by `newLength` frames.
  // Every point gets a new identifier.
  GainEnvelope adjusted(FrameRange replaced, int64_t newLength) const;
  // Frames multiplied by `factor` (new frames per old frame) and rounded; new identifiers.
  GainEnvelope scaled(double factor) const;

  bool operator==(const GainEnvelope&) const = default;

private:
  // Index of the first point of the segment holding `position`, which lies strictly between
  // the first and the last point's frames.
  size_t segmentIndex(double position) const;
};

// {"id": "<UUID>", "frame": Int, "gainDB": Double}
void to_json(Json& json, const EnvelopePoint& point);
void from_json(const Json& json, EnvelopePoint& point);
// {"points": [...]}; decoding keeps the stored order.
void to_json(Json& json, const GainEnvelope& envelope);
void from_json(const Json& json, GainEnvelope& envelope);

} // namespace quar

template <>
struct std::hash<quar::GainEnvelope> {
  size_t operator()(const quar::GainEnvelope& envelope) const noexcept;
};
