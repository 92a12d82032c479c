#include "inspector/LoudnessSpectrumView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "inspector/InspectorText.h"
#include "widgets/TextDrawing.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr double topMargin = 14;
constexpr double gateFloorLUFS = -70;
constexpr double relativeGateLU = 20;
constexpr double scaleLow = -54;

// A vertical line at x over the plot's height and two points beyond.
void drawMark(QPainter& painter, double x, const QRectF& plot, QPen pen) {
  pen.setCapStyle(Qt::RoundCap);
  painter.setPen(pen);
  painter.drawLine(QPointF(x, plot.top() - 2), QPointF(x, plot.bottom() + 2));
}

} // namespace

LoudnessSpectrumView::LoudnessSpectrumView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("loudnessDistribution"));
  setFixedHeight(viewHeight);
}

LoudnessSpectrumView::Distribution LoudnessSpectrumView::distribution(const std::vector<float>& shortTerm) {
  Distribution result{std::vector<double>(binCount, 0.0), std::nullopt, std::nullopt};
  std::vector<double> retained;
  for (const float value : shortTerm)
    if (value > gateFloorLUFS) retained.push_back(value);
  if (retained.empty()) return result;

  double energy = 0;
  for (const double v : retained) {
    const double index = std::trunc(v + binCount);
    if (index >= 0 && index < binCount) result.bins[static_cast<size_t>(index)] += 1;
    energy += std::pow(10.0, v / 10);
  }
  const double fullest = *std::max_element(result.bins.begin(), result.bins.end());
  for (double& bin : result.bins) bin /= std::max(fullest, 1.0);

  const double gate = 10 * std::log10(energy / static_cast<double>(retained.size())) - relativeGateLU;
  std::vector<double> gated;
  for (const double v : retained)
    if (v > gate) gated.push_back(v);
  std::sort(gated.begin(), gated.end());
  const size_t n = gated.size();
  if (n > 1) {
    const auto at = [&](double fraction) {
      return gated[std::min(static_cast<size_t>(fraction * static_cast<double>(n - 1)), n - 1)];
    };
    result.low = at(0.10);
    result.high = at(0.95);
  }
  return result;
}

QRectF LoudnessSpectrumView::plotRect(QSizeF canvas) {
  return {10, 14, canvas.width() - 20, canvas.height() - 34};
}

double LoudnessSpectrumView::x(double lufs, const QRectF& plot) {
  const double fraction = lufs > scaleLow ? (std::min(lufs, 0.0) - scaleLow) / -scaleLow : 0.0;
  return plot.left() + fraction * plot.width();
}

QString LoudnessSpectrumView::accessibilityText(double integratedLUFS, double target) {
  return QStringLiteral("Loudness distribution. Integrated ") + InspectorText::loudness(integratedLUFS) +
         QStringLiteral(" LUFS, target ") + InspectorText::wholeNumber(target) + QStringLiteral(" LUFS");
}

void LoudnessSpectrumView::setMeasurement(const quar::LoudnessResult& result, double target,
                                          std::optional<double> predicted) {
  if (result != result_) {
    result_ = result;
    distribution_ = distribution(result_.shortTerm);
  }
  target_ = target;
  predicted_ = predicted;
  setAccessibleName(accessibilityText(result_.integratedLUFS, target_));
  update();
}

void LoudnessSpectrumView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(0, topMargin);
  const QRectF plot = plotRect(QSizeF(width(), height() - topMargin));
  const QPalette& colors = palette();
  const QColor primary = colors.color(QPalette::WindowText);
  const QColor shortTerm = Theme::loudnessShortTerm.resolved(colors);

  QPainterPath background;
  background.addRoundedRect(plot.adjusted(0, -2, 0, 2), 5, 5);
  painter.fillPath(background, ViewStyle::faded(primary, 0.04));

  QFont small = TextDrawing::font(9, QFont::Medium);
  if (distribution_.low && distribution_.high) {
    const double x0 = x(*distribution_.low, plot);
    const double x1 = x(*distribution_.high, plot);
    const QRectF band(x0, plot.top(), std::max(x1 - x0, 2.0), plot.height());
    QPainterPath shape;
    shape.addRoundedRect(band, 3, 3);
    painter.fillPath(shape, ViewStyle::faded(shortTerm, 0.12));
    painter.setFont(small);
    painter.setPen(shortTerm);
    TextDrawing::drawCentred(painter, QPointF(band.center().x(), plot.top() - 7),
                QStringLiteral("LRA ") + InspectorText::fixed(result_.loudnessRangeLU, 1) + QStringLiteral(" LU"));
  }

  const double slot = plot.width() / binCount;
  const double barWidth = std::max(slot - 1, 1.0);
  for (int i = 0; i < binCount; ++i) {
    const double bin = distribution_.bins.empty() ? 0 : distribution_.bins[static_cast<size_t>(i)];
    if (!(bin > 0)) continue;
    const double h = bin * (plot.height() - 6);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(plot.left() + slot * i + 0.5, plot.bottom() - h, barWidth, h), 1.5, 1.5);
    painter.fillPath(bar, ViewStyle::faded(shortTerm, 0.75));
  }

  const QColor secondary = ViewStyle::secondary(colors);
  painter.setFont(TextDrawing::font(9));
  for (int v = -54; v <= 0; v += 3) {
    const double at = x(v, plot);
    const bool major = v % 6 == 0;
    painter.setPen(QPen(ViewStyle::faded(secondary, 0.6), 1));
    painter.drawLine(QPointF(at, plot.bottom() + 2), QPointF(at, plot.bottom() + (major ? 7 : 4)));
    if (major) {
      painter.setPen(secondary);
      TextDrawing::drawCentred(painter, QPointF(at, plot.bottom() + 14), QString::number(v));
    }
  }

  QPen target(Theme::loudnessTarget.resolved(colors), 2);
  target.setDashPattern({2, 1.5});  // 4 on, 3 off at a width of 2
  drawMark(painter, x(target_, plot), plot, target);
  if (predicted_ && std::isfinite(*predicted_) && std::abs(*predicted_ - result_.integratedLUFS) > 0.05) {
    QPen after(ViewStyle::systemOrange.resolved(colors), 1.5);
    after.setDashPattern({2 / 1.5, 2 / 1.5});  // 2 on, 2 off
    drawMark(painter, x(*predicted_, plot), plot, after);
  }
  if (std::isfinite(result_.integratedLUFS))
    drawMark(painter, x(result_.integratedLUFS, plot), plot, QPen(Theme::loudnessIntegrated.resolved(colors), 2.5));

  painter.resetTransform();
  drawLegend(painter);
}

void LoudnessSpectrumView::drawLegend(QPainter& painter) {
  struct Item {
    QColor color;
    QString text;
  };
  std::vector<Item> items{{Theme::loudnessIntegrated.resolved(palette()), QStringLiteral("Integrated")},
                          {Theme::loudnessTarget.resolved(palette()), QStringLiteral("Target")}};
  if (predicted_) items.push_back({ViewStyle::systemOrange.resolved(palette()), QStringLiteral("After")});
  const QFont font = TextDrawing::font(9, QFont::Medium);
  painter.setFont(font);
  const double lineHeight = TextDrawing::size(font, QStringLiteral("A")).height();
  // The legend sits at the canvas's top left, 16 points up, kept inside the view.
  const double top = std::max(topMargin - 16, 0.0);
  double left = 0;
  for (const Item& item : items) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(item.color);
    painter.drawEllipse(QRectF(left, top + lineHeight / 2 - 3, 6, 6));
    left += 6 + 3;
    painter.setPen(ViewStyle::secondary(palette()));
    TextDrawing::draw(painter, QPointF(left, top), item.text);
    left += TextDrawing::size(font, item.text).width() + 10;
  }
}
