#include "views/TimelineCanvas.h"

#include <QPainter>

#include <cmath>

#include "base/Precondition.h"
#include "editor/EditorModel.h"
#include "views/TextDrawing.h"
#include "views/TimelineLoudness.h"
#include "views/TimelineOverlays.h"
#include "views/TimelineRuler.h"
#include "views/TimelineWaveform.h"
#include "views/ViewStyle.h"

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
  if (geometry.frameCount == 0 && !model.busy()) TimelineWaveform::drawEmptyHint(*this);
  TimelineOverlays::drawSelection(*this);
  TimelineOverlays::drawMarkerLines(*this);
  TimelineOverlays::drawCursor(*this);
  if (model.showLoudnessLane()) TimelineLoudness::draw(*this);
  if (model.showGrid()) TimelineOverlays::drawGrid(*this);
  TimelineRuler::draw(*this);
}
