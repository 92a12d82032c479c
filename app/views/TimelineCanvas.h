// TimelineCanvas: one drawing pass of the timeline: the painter, the model drawn, the geometry,
// the device pixels per point and the palette that Theme colours resolve against.
// drawEverything paints every layer in order: background, channel lanes (or the empty hint),
// selection, marker lines, cursor, tempo grid, ruler. Drawing reads the model's tracked state, so
// a caller inside an ObservationScope learns what the picture depends on. GUI thread.
#pragma once

#include <QPalette>
#include <QPen>
#include <QSizeF>

#include "views/Theme.h"
#include "views/TimelineGeometry.h"

class EditorModel;
class QPainter;

struct TimelineCanvas {
  TimelineCanvas(QPainter& painter, const EditorModel& model, QSizeF size, double scale, const QPalette& palette);

  QPainter& painter;
  const EditorModel& model;
  TimelineGeometry geometry;
  double scale;  // device pixels per point
  QPalette palette;
  bool dark;

  QColor color(const ThemeColor& color) const { return color.resolved(dark); }
  // The colour with its alpha replaced.
  QColor color(const ThemeColor& color, double alpha) const;

  // A pen for lines: butt caps, `width` points wide.
  static QPen linePen(const QColor& color, double width = 1);

  void drawEverything();
};
