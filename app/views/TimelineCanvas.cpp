#include "views/TimelineCanvas.h"

#include <QPainter>

#include "editor/EditorModel.h"
#include "views/TimelineOverlays.h"
#include "views/TimelineRuler.h"
#include "views/TimelineWaveform.h"

TimelineCanvas::TimelineCanvas(QPainter& painter, const EditorModel& model, QSizeF size, double scale,
                               const QPalette& palette)
    : painter(painter),
      model(model),
      geometry(TimelineGeometry::of(model, size)),
      scale(scale),
      palette(palette),
      dark(Theme::isDark(palette)) {}

QColor TimelineCanvas::color(const ThemeColor& themeColor, double alpha) const {
  QColor result = color(themeColor);
  result.setAlphaF(static_cast<float>(alpha));
  return result;
}

QPen TimelineCanvas::linePen(const QColor& color, double width) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

void TimelineCanvas::drawEverything() {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, geometry.width, geometry.height), color(Theme::background));
  // Any content change redraws, even one that leaves the fields read below equal.
  model.contentVersion();
  for (int channel = 0; channel < geometry.channelCount; ++channel) TimelineWaveform::drawLane(*this, channel);
  if (geometry.frameCount == 0) TimelineWaveform::drawEmptyHint(*this);
  TimelineOverlays::drawSelection(*this);
  TimelineOverlays::drawMarkerLines(*this);
  TimelineOverlays::drawCursor(*this);
  if (model.showGrid()) TimelineOverlays::drawGrid(*this);
  TimelineRuler::draw(*this);
}
