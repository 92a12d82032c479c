// TimelineCanvas: one drawing pass of the timeline into an image (32-bit RGB or premultiplied
// ARGB at its device-pixel ratio): the painter, the model drawn, the geometry of the image's size
// in points, the device pixels per point, the palette that Theme colours resolve against, and
// the view's envelope gesture. drawEverything paints every layer in order: background, channel
// lanes (or the empty hint, unless a job is filling the document), selection, marker lines,
// cursor, loudness lane with the envelope, tempo grid, ruler, and leaves where it drew the
// envelope target chips. Drawing reads the model's tracked state, so a caller inside an
// ObservationScope learns what the picture depends on; with an underlay cache, the loudness
// lane beneath its labels is drawn again only when it changed. GUI thread.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <optional>
#include <vector>

#include "widgets/Theme.h"
#include "views/TimelineEnvelope.h"
#include "views/TimelineGeometry.h"

class EditorModel;
namespace TimelineLoudness {
struct UnderlayCache;
}

struct TimelineCanvas {
  TimelineCanvas(QImage& image, const EditorModel& model, const QPalette& palette);

  QImage& image;
  QPainter painter;
  const EditorModel& model;
  double scale;  // device pixels per point
  TimelineGeometry geometry;
  QPalette palette;
  bool dark;
  TimelineEnvelope::Gesture gesture;
  // Filled by drawing the loudness lane: the target chips, in drawing order.
  std::vector<TimelineEnvelope::TargetChip> targetChips;
  // The view's picture of the loudness lane's underlay from its last drawing; none to draw it.
  TimelineLoudness::UnderlayCache* underlayCache = nullptr;

  QColor color(const ThemeColor& color) const { return color.resolved(dark); }
  // The colour with its alpha replaced.
  QColor color(const ThemeColor& color, double alpha) const;
  // A pen for lines: butt caps, `width` points wide.
  static QPen linePen(const QColor& color, double width = 1);
  // Solid one-point lines parallel to an axis, each through the middle of a row or column of
  // points (a lineX position), filled as the rectangles they cover: the pixels of stroking them
  // with linePen, at a fraction of the cost.
  void fillLines(const std::vector<QLineF>& lines, const QColor& color);
  // The image's device pixels under `rect` (points) when its edges lie on whole device pixels.
  std::optional<QRect> devicePixels(const QRectF& rect) const;

  // Text in the painter's font and `color` with its line box's top-left corner at `topLeft`,
  // over a plate of the lane's background: no curve or line runs through a label.
  void drawLabel(QPointF topLeft, const QString& text, const QColor& color);

  void drawEverything();
};
