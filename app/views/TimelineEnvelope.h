// TimelineEnvelope: the gain-envelope editor drawn over the loudness lane: a dashed 0 dB line,
// the section or bars being dragged, faint dashed curves of the envelopes not being edited, the
// edited envelope filled towards 0 dB with its points, a dB scale, the chips that pick the
// edited envelope ("L", "R", …, "All"; none in mono) and the value read-out of a running drag.
// Gains plot in the envelope band of TimelineGeometry. The pure functions may run on any
// thread; the draw functions paint a TimelineCanvas, and drawMarks records the chips' rectangles
// in it.
#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

#include "base/FrameRange.h"
#include "base/Uuid.h"
#include "core/GainEnvelope.h"
#include "views/TimelineGeometry.h"

class EditorModel;
struct TimelineCanvas;

namespace TimelineEnvelope {

// A target chip where it was drawn, and the envelope it picks: none = the master ("All").
struct TargetChip {
  std::optional<int> target;
  QRectF rect;
  bool operator==(const TargetChip&) const = default;
};

// The value label of a running drag and the pointer it follows.
struct Readout {
  QString text;
  QPointF at;
};

// What the view's envelope gesture adds to the picture.
struct Gesture {
  std::optional<quar::Uuid> hoveredPoint;  // drawn larger
  std::optional<quar::Uuid> draggedPoint;  // drawn larger
  std::optional<quar::FrameRange> highlight;  // the section or bars being dragged
  std::optional<Readout> readout;
};

// The envelopes the lane edits: every channel then the master, or only the master in mono.
std::vector<std::optional<int>> targets(int channelCount);
// The target chips for the model's content in a view `width` points wide whose loudness lane
// begins at `laneTop`, from the right end of the row leftwards (so that they read L, R, …, All);
// none in mono.
std::vector<TargetChip> chipLayout(const EditorModel& model, double width, double laneTop);
// The whole number of dB that the lane shows for a range ("12" for 12.0).
QString wholeDB(double dB);
// The read-out's box for text of `size` at the pointer: above and right of it, to its left
// near the view's right edge, below it near the lane's top.
QRectF readoutBox(QSizeF size, QPointF at, double width, double laneTop);
// The envelope sampled every `step` points from x 0 to the view's width plus one step.
QPolygonF curve(const quar::GainEnvelope& envelope, const TimelineGeometry& geometry, double step);

// The curves as drawn: the dashed 0 dB line at `zeroY` up to `right`, the section or bars
// being dragged, the other envelopes that have points, and the edited one, filled towards 0 dB
// unless flat and fainter while it has no points. Equal values draw the same pixels.
struct Curves {
  double zeroY = 0;
  double right = 0;
  std::optional<QRectF> highlight;
  std::vector<QPolygonF> others;
  QPolygonF edited;
  bool filled = false;
  bool hasPoints = false;
  bool operator==(const Curves&) const = default;
};
// The curves of the canvas's model and gesture (reads the model's tracked state).
Curves curves(const TimelineCanvas& canvas);

// The lane's layers, drawn in this order with what the loudness lane adds between them: the
// curves (0 dB line, dragged section, the other envelopes, the edited one and its fill), the
// marks over every curve (dB scale, points, target chips, and the caption "Gain for" before the
// chips unless it would begin left of `captionLimit`) and the read-out above everything.
void drawCurves(TimelineCanvas& canvas, const Curves& curves);
void drawMarks(TimelineCanvas& canvas, double captionLimit);
void drawReadout(TimelineCanvas& canvas);

} // namespace TimelineEnvelope
