// TimelinePlayhead: the play position line of the timeline, painted over the backing image at
// display rate: which position it shows, where its 1.5-point line lies, and how it is painted
// (a soft shadow on both sides). Pure functions and painting; GUI thread.
#pragma once

#include <QColor>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <functional>
#include <optional>

class QPainter;

namespace TimelinePlayhead {

constexpr double lineWidth = 1.5;

// The record head when one is set; otherwise the audible position while playing; none when
// stopped. `audiblePosition` is called only when needed.
std::optional<double> position(bool isPlaying, std::optional<int64_t> recordHead,
                               const std::function<int64_t()>& audiblePosition);
// The line centred on the position's x over the full height; none when x lies left of the view
// or beyond its right edge.
std::optional<QRectF> frame(double position, double scrollFrame, double framesPerPoint, QSizeF size);
// What painting the line at `frame` touches, its shadow included.
QRectF paintedArea(const QRectF& frame);
void paint(QPainter& painter, const QRectF& frame, const QColor& color);

} // namespace TimelinePlayhead
