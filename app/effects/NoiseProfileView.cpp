#include "effects/NoiseProfileView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "widgets/TextDrawing.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr double lowestHz = 20;
constexpr size_t fewestBins = 3;

} // namespace

NoiseProfileView::NoiseProfileView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("noiseProfile"));
  setFixedHeight(60);
}

void NoiseProfileView::setProfile(const quar::NoiseProfile& profile) {
  if (profile == profile_) return;
  profile_ = profile;
  update();
}

std::vector<QPointF> NoiseProfileView::curve(const quar::NoiseProfile& profile, QSizeF size) {
  const std::vector<float>& power = profile.binPower;
  const size_t n = power.size();
  const double nyquist = profile.sampleRate * 0.5;
  const double span = std::log(nyquist / lowestHz);
  if (n < fewestBins || !(span > 0) || !std::isfinite(span)) return {};
  std::vector<double> db(n);
  for (size_t i = 0; i < n; ++i) db[i] = 10 * std::log10(std::max(power[i], 1e-20f));
  const double top = *std::max_element(db.begin(), db.end());
  const double w = size.width();
  const double h = size.height();
  std::vector<QPointF> points;
  points.reserve(n);
  for (size_t i = 1; i < n; ++i) {
    const double f = nyquist * static_cast<double>(i) / static_cast<double>(n - 1);
    if (f < lowestHz) continue;
    const double t = (db[i] - (top - rangeDB)) / rangeDB;
    const double y = t <= 0 ? h : t <= 1 ? h - h * t : 0;
    points.emplace_back(w * std::log(f / lowestHz) / span, y);
  }
  return points;
}

void NoiseProfileView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(ViewStyle::faded(Theme::label(palette()), 0.04));
  painter.drawRoundedRect(QRectF(rect()), 5, 5);
  if (profile_.binPower.size() < fewestBins) return;

  const std::vector<QPointF> points = curve(profile_, size());
  if (!points.empty()) {
    QPainterPath path(points.front());
    for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    painter.setPen(QPen(Theme::orange.resolved(palette()), 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
  }
  const QString caption = QStringLiteral("Noise profile");
  painter.setFont(TextDrawing::font(9));
  painter.setPen(Theme::secondaryLabel(palette()));
  const QSizeF text = TextDrawing::size(painter.font(), caption);
  TextDrawing::draw(painter, QPointF(40 - text.width() / 2, 8 - text.height() / 2), caption);
}
