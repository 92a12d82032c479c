#include "views/TimelineCanvas.h"

#include <QPainter>

#include <cmath>
#include <optional>

#include "base/Precondition.h"
#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineLoudness.h"
#include "views/TimelineOverlays.h"
#include "views/TimelineRuler.h"
#include "views/TimelineWaveform.h"
#include "widgets/ViewStyle.h"

namespace {

// The view's background wherever the channel lanes leave it visible.
void fillBackground(TimelineCanvas& canvas) {
  const TimelineGeometry& geometry = canvas.geometry;
  const double scale = canvas.scale;
  // The opaque lanes hide the rest. Bands run out to whole device rows, so that a lane's
  // blended edge row lies over the background and never over the previous picture.
  const QColor background = canvas.color(Theme::background);
  const auto band = [&](double from, double to) {
    const double top = std::floor(from * scale) / scale;
    const double bottom = std::ceil(to * scale) / scale;
    if (top < bottom) canvas.painter.fillRect(QRectF(0, top, geometry.width, bottom - top), background);
  };
  double y = 0;
  for (int channel = 0; channel < geometry.channelCount; ++channel) {
    const QRectF lane = geometry.laneRect(channel);
    band(y, lane.top());
    y = std::max(y, lane.bottom());
  }
  band(y, geometry.height);
}

// What the raster engine makes of a pixel under a fully covering solid fill of `src`
// (premultiplied): source over, each channel x * a rounded as the engine's byte multiply does.
QRgb sourceOver(QRgb dst, QRgb src) {
  const uint keep = 255 - qAlpha(src);
  const auto channel = [&](int shift) {
    const uint t = ((dst >> shift) & 0xff) * keep;
    return ((t + (t >> 8) + 0x80) >> 8) << shift;
  };
  return src + (channel(0) | channel(8) | channel(16) | channel(24));
}

} // namespace

TimelineCanvas::TimelineCanvas(QImage& image, const EditorModel& model, const QPalette& palette)
    : image(image),
      painter(&image),
      model(model),
      scale(image.devicePixelRatio()),
      geometry(TimelineGeometry::of(model, QSizeF(image.size()) / scale)),
      palette(palette),
      dark(Theme::isDark(palette)) {
  QUAR_PRECONDITION(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied,
                    "The timeline draws into 32-bit RGB or premultiplied ARGB images");
}

QColor TimelineCanvas::color(const ThemeColor& themeColor, double alpha) const {
  return ViewStyle::withAlpha(color(themeColor), alpha);
}

QPen TimelineCanvas::linePen(const QColor& color, double width) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

std::optional<QRect> TimelineCanvas::devicePixels(const QRectF& rect) const {
  const QRectF device(rect.topLeft() * scale, rect.size() * scale);
  const QRect whole(QPoint(static_cast<int>(std::lround(device.left())), static_cast<int>(std::lround(device.top()))),
                    QPoint(static_cast<int>(std::lround(device.right())) - 1,
                           static_cast<int>(std::lround(device.bottom())) - 1));
  const auto onPixel = [](double a, int b) { return std::abs(a - b) < 1e-6; };
  if (!onPixel(device.left(), whole.left()) || !onPixel(device.top(), whole.top()) ||
      !onPixel(device.right(), whole.right() + 1) || !onPixel(device.bottom(), whole.bottom() + 1))
    return std::nullopt;
  return whole;
}

void TimelineCanvas::fillLines(const std::vector<QLineF>& lines, const QColor& lineColor) {
  // The raster engine blends a translucent vertical line row by row, at a cost per row that
  // makes a grid of full-height lines take milliseconds. Lines on whole device pixels, with
  // nothing clipping the painter, are blended here to the same pixels.
  const bool direct = !painter.hasClipping() && painter.opacity() == 1 &&
                      painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
                      painter.deviceTransform() == QTransform::fromScale(scale, scale);
  const QRgb src = lineColor.rgba64().premultiplied().toArgb32();
  for (const QLineF& line : lines) {
    if (line.x1() != line.x2()) {
      painter.fillRect(QRectF(std::min(line.x1(), line.x2()), line.y1() - 0.5, std::abs(line.dx()), 1), lineColor);
      continue;
    }
    const QRectF rect(line.x1() - 0.5, std::min(line.y1(), line.y2()), 1, std::abs(line.dy()));
    const std::optional<QRect> pixels = direct ? devicePixels(rect) : std::nullopt;
    if (!pixels) {
      painter.fillRect(rect, lineColor);
      continue;
    }
    const QRect shown = pixels->intersected(image.rect());
    for (int y = shown.top(); y <= shown.bottom(); ++y) {
      QRgb* const row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = shown.left(); x <= shown.right(); ++x) row[x] = sourceOver(row[x], src);
    }
  }
}

void TimelineCanvas::drawLabel(QPointF topLeft, const QString& text, const QColor& textColor) {
  const QSizeF size = TextDrawing::size(painter.font(), text);
  painter.fillRect(QRectF(topLeft.x() - 1, topLeft.y(), size.width() + 2, size.height()), color(Theme::laneBackground));
  painter.setPen(textColor);
  TextDrawing::draw(painter, topLeft, text);
}

void TimelineCanvas::drawEverything() {
  painter.setRenderHint(QPainter::Antialiasing);
  fillBackground(*this);
  // Any content change redraws, even one that leaves the fields read below equal.
  model.contentVersion();
  TimelineWaveform::drawLanes(*this);
  // Not while a job fills the empty document (a file loading): its progress shows instead.
  if (geometry.frameCount == 0 && !model.jobs().busy()) TimelineWaveform::drawEmptyHint(*this);
  TimelineOverlays::drawSelection(*this);
  TimelineOverlays::drawMarkerLines(*this);
  TimelineOverlays::drawCursor(*this);
  if (model.viewSettings().showLoudnessLane()) TimelineLoudness::draw(*this);
  if (model.tempo().showGrid()) TimelineOverlays::drawGrid(*this);
  TimelineRuler::draw(*this);
}
