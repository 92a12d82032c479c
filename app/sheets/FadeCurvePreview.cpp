#include "sheets/FadeCurvePreview.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

FadeCurvePreview::FadeCurvePreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("curvePreview"));
  setFixedHeight(previewHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FadeCurvePreview::setCurve(quar::FadeShape shape, bool fadeIn) {
  if (shape == shape_ && fadeIn == fadeIn_) return;
  shape_ = shape;
  fadeIn_ = fadeIn;
  update();
}

QPolygonF FadeCurvePreview::curve(quar::FadeShape shape, bool fadeIn, QSizeF size) {
  QPolygonF points;
  for (int i = 0; i <= 100; ++i) {
    const double p = i / 100.0;
    const double g = quar::gain(shape, std::clamp(fadeIn ? p : 1 - p, 0.0, 1.0));
    points << QPointF(size.width() * p, size.height() - 4 - (size.height() - 8) * g);
  }
  return points;
}

void FadeCurvePreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath frame;
  frame.addRoundedRect(QRectF(rect()), 6, 6);
  painter.fillPath(frame, ViewStyle::withAlpha(palette().color(QPalette::WindowText), 0.05));
  painter.setPen(QPen(Theme::waveform.resolved(palette()), 2));
  painter.drawPolyline(curve(shape_, fadeIn_, QSizeF(size())));
}
