// TimelineGeometry: where everything lies in the timeline, as a plain value made from the view's
// size in points and the model's view state. y grows downward from the top; a frame f lies at
// x = (f - scrollFrame) / framesPerPoint. From the top: the 26-point ruler, the channel lanes
// with 1-point gaps, and (when shown) the loudness lane, whose envelope band plots gains in dB.
// Pure functions; any thread.
#pragma once

#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <optional>

class EditorModel;

struct TimelineGeometry {
  static constexpr double rulerHeight = 26;
  static constexpr double minLoudnessHeight = 70;
  // Points the loudness lane always leaves to the channel lanes, when the view is tall enough.
  static constexpr double minLanesShare = 80;
  static constexpr double minLanesHeight = 20;

  double width = 0;
  double height = 0;
  int channelCount = 0;
  int64_t frameCount = 0;
  double scrollFrame = 0;
  double framesPerPoint = 1;
  bool showLoudnessLane = false;
  double loudnessLaneHeight = 0;  // as stored in the model; see loudnessHeight()
  double envelopeRangeDB = 12;

  // The geometry of a view of `size` points over the model (reads the model's tracked state).
  static TimelineGeometry of(const EditorModel& model, QSizeF size);

  // The loudness lane's height L: the stored height clamped to [70, max(70, H - 26 - 80)].
  double loudnessHeight() const;
  QRectF ruler() const { return {0, 0, width, rulerHeight}; }
  // The channel lanes together: below the ruler, above the loudness lane when it is shown.
  QRectF lanesRect() const;
  // Lane of channel i (0 at the top), sharing lanesRect with 1-point gaps.
  QRectF laneRect(int channel) const;
  // The loudness lane at the bottom, with the same height whether or not it is shown.
  QRectF loudnessRect() const;
  // The part of the loudness lane in which envelope gains are plotted.
  QRectF envelopeBand() const;

  // x in points of a (fractional) frame, and the frame under an x.
  double x(double frame) const { return (frame - scrollFrame) / framesPerPoint; }
  double frame(double x) const { return scrollFrame + x * framesPerPoint; }
  // The x of a one-point vertical line over `x`: rounded to the whole point, plus 0.5.
  static double lineX(double x);
  // The frame under x, rounded, clamped to [0, frameCount].
  int64_t clampedFrame(double x) const;
  // The channel whose lane (with the gap above it) contains y; none in the ruler, the loudness
  // lane, or without channels.
  std::optional<int> channel(double y) const;
  // y of a gain in the envelope band: +range at the top, 0 in the middle, -range at the bottom;
  // gains beyond the range stick to the edges.
  double envelopeY(double dB) const;
  // The gain at y, not limited to the shown range but to an envelope point's -60 ... +24 dB.
  double envelopeDB(double y) const;
};
