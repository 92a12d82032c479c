#include "effects/TransferCurve.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "widgets/TextDrawing.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

using ViewStyle::faded;

namespace {

constexpr int pointCount = 121;
constexpr double stepDB = 0.5;

} // namespace

TransferCurve::TransferCurve(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("transferCurve"));
  setAccessibleName(QStringLiteral("Compressor transfer curve"));
  setFixedSize(120, 120);
}

void TransferCurve::setSettings(const quar::CompressorSettings& settings) {
  if (settings == settings_) return;
  settings_ = settings;
  update();
}

double TransferCurve::xOf(double inputDB, double width) { return width * (inputDB - floorDB) / -floorDB; }

double TransferCurve::yOf(double outputDB, double height) {
  if (std::isnan(outputDB)) return height;
  return height - height * std::clamp((outputDB - floorDB) / -floorDB, 0.0, 1.0);
}

std::vector<QPointF> TransferCurve::curve(const quar::CompressorSettings& settings, QSizeF size) {
  std::vector<QPointF> points;
  points.reserve(pointCount);
  for (int i = 0; i < pointCount; ++i) {
    const double input = floorDB + stepDB * i;
    const double output = settings.staticOutputDB(input) + settings.effectiveMakeupDB();
    points.emplace_back(xOf(input, size.width()), yOf(output, size.height()));
  }
  return points;
}

void TransferCurve::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  const QColor primary = Theme::label(colours);
  const double w = width();
  const double h = height();

  painter.setPen(Qt::NoPen);
  painter.setBrush(faded(primary, 0.05));
  painter.drawRoundedRect(QRectF(0, 0, w, h), 6, 6);

  QPen unity(faded(primary, 0.15), 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
  unity.setDashPattern({3, 3});
  painter.setPen(unity);
  painter.drawLine(QPointF(0, h), QPointF(w, 0));

  const double threshold = xOf(settings_.thresholdDB, w);
  painter.setPen(QPen(faded(Theme::orange.resolved(colours), 0.4), 1));
  painter.drawLine(QPointF(threshold, 0), QPointF(threshold, h));

  const std::vector<QPointF> points = curve(settings_, size());
  QPainterPath path(points.front());
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  painter.setPen(QPen(Theme::waveform.resolved(colours), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);

  const QString caption = QStringLiteral("in \u2192");
  painter.setFont(TextDrawing::font(8));
  painter.setPen(Theme::tertiaryLabel(colours));
  const QSizeF text = TextDrawing::size(painter.font(), caption);
  TextDrawing::draw(painter, QPointF(w - 14 - text.width() / 2, h - 6 - text.height() / 2), caption);
}
