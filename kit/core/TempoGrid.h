// TempoGrid: a constant-tempo bar and beat grid laid over a document's audio (bpm, beats per
// bar, and the frame where bar 1 begins). It stores no sample rate: every query takes the
// content's rate in Hz. Frame positions are Doubles, indices Ints. Plain value, pure functions.
#pragma once

#include <cstdint>
#include <functional>

#include "base/FrameRange.h"
#include "base/Json.h"

namespace quar {

struct TempoGrid {
  struct Bounds {
    double lowerBound;
    double upperBound;
  };
  // Beats per minute (closed) that the initialiser accepts.
  static constexpr Bounds bpmRange{20.0, 400.0};

  double bpm = 120.0;
  int64_t beatsPerBar = 4;
  int64_t downbeatFrame = 0;  // bar 0 (shown as bar 1), beat 0; may be negative

  TempoGrid() = default;
  // Clamps bpm into bpmRange and beatsPerBar to at least 1.
  TempoGrid(double bpm, int64_t beatsPerBar, int64_t downbeatFrame);

  double framesPerBeat(double sampleRate) const;
  double framesPerBar(double sampleRate) const;
  // Indices round down, so positions before the downbeat give negative indices.
  int64_t beatIndex(double position, double sampleRate) const;
  double beatFrame(int64_t index, double sampleRate) const;
  int64_t barIndex(double position, double sampleRate) const;
  double barFrame(int64_t index, double sampleRate) const;
  // The frames of every bar from min(a, b) to max(a, b), both included, clipped to [0, limit]
  // (limit >= 0). Any stored grid gives a range, also one with a tempo of 0 or no beats per bar
  // (which decoding lets through).
  FrameRange barsRange(int64_t a, int64_t b, double sampleRate, int64_t limit) const;
  // The nearest multiple of a beat split into max(1, division) parts, counted from the downbeat.
  double snapped(double position, double sampleRate, int64_t division) const;
  // The grid with its downbeat frame scaled (new frames per old frame) and rounded.
  TempoGrid scaled(double factor) const;

  bool operator==(const TempoGrid&) const = default;
};

// {"bpm": Double, "beatsPerBar": Int, "downbeatFrame": Int}; decoding does not clamp.
void to_json(Json& json, const TempoGrid& grid);
void from_json(const Json& json, TempoGrid& grid);

} // namespace quar

template <>
struct std::hash<quar::TempoGrid> {
  size_t operator()(const quar::TempoGrid& grid) const noexcept {
    size_t h = std::hash<double>{}(grid.bpm);
    h = h * 31 + std::hash<int64_t>{}(grid.beatsPerBar);
    return h * 31 + std::hash<int64_t>{}(grid.downbeatFrame);
  }
};
