#include "views/TimelinePlayhead.h"

#include <QLinearGradient>
#include <QPainter>

namespace TimelinePlayhead {

namespace {

constexpr double shadowRadius = 1.5;

} // namespace

std::optional<double> position(bool isPlaying, std::optional<int64_t> recordHead,
                               const std::function<int64_t()>& audiblePosition) {
  if (recordHead) return static_cast<double>(*recordHead);
  if (isPlaying) return static_cast<double>(audiblePosition());
  return std::nullopt;
}

std::optional<QRectF> frame(double position, double scrollFrame, double framesPerPoint, QSizeF size) {
  const double x = (position - scrollFrame) / framesPerPoint;
  if (!(x >= 0 && x <= size.width())) return std::nullopt;
  return QRectF(x - lineWidth / 2, 0, lineWidth, size.height());
}

QRectF paintedArea(const QRectF& frame) { return frame.adjusted(-shadowRadius - 1, 0, shadowRadius + 1, 0); }

void paint(QPainter& painter, const QRectF& frame, const QColor& color) {
  const QRectF shadow = frame.adjusted(-shadowRadius, 0, shadowRadius, 0);
  QLinearGradient gradient(shadow.left(), 0, shadow.right(), 0);
  const QColor clear(0, 0, 0, 0);
  const QColor dark(0, 0, 0, 64);  // black at 0.25
  const double edge = shadowRadius / shadow.width();
  gradient.setStops({{0, clear}, {edge, dark}, {1 - edge, dark}, {1, clear}});
  painter.fillRect(shadow, gradient);
  painter.fillRect(frame, color);
}

} // namespace TimelinePlayhead
