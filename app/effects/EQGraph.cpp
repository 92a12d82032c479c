#include "effects/EQGraph.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "effects/EQEditor.h"
#include "widgets/TextDrawing.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

using ViewStyle::faded;
using quar::EQBand;
using quar::EQSettings;

namespace {

constexpr double frequencyGrid[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000};
constexpr double gainGrid[] = {-18, -12, -6, 0, 6, 12, 18};
constexpr int labelSize = 8;

double roundedToTenths(double value) { return std::round(value * 10) / 10; }

QString frequencyLabel(double hz) {
  return hz >= 1000 ? QString::number(static_cast<int>(hz / 1000)) + QLatin1Char('k')
                    : QString::number(static_cast<int>(hz));
}

} // namespace

EQGraph::EQGraph(Binding<EQSettings> settings, Binding<std::optional<quar::Uuid>> selected, QWidget* parent)
    : QWidget(parent), settings_(std::move(settings)), selected_(std::move(selected)) {
  setObjectName(QStringLiteral("eqGraph"));
  setAccessibleName(QStringLiteral("EQ frequency response"));
  setFixedHeight(170);
}

void EQGraph::setSampleRate(double sampleRate) {
  if (sampleRate == sampleRate_) return;
  sampleRate_ = sampleRate;
  update();
}

QRectF EQGraph::plotRect() const {
  return QRectF(rect()).adjusted(plotInset, plotInset, -plotInset, -plotInset);
}

QPointF EQGraph::inPlot(QPointF position) const { return position - plotRect().topLeft(); }

const std::array<double, EQGraph::pointCount>& EQGraph::frequencies() {
  static const std::array<double, pointCount> table = [] {
    std::array<double, pointCount> values{};
    for (size_t i = 0; i < pointCount; ++i)
      values[i] = lowestHz * std::pow(1000.0, static_cast<double>(i) / (pointCount - 1));
    return values;
  }();
  return table;
}

double EQGraph::xOf(double hz, double width) { return width * std::log(hz / lowestHz) / std::log(1000.0); }

double EQGraph::yOf(double db, double height) {
  if (!(db > -edgeDB)) return height;
  return height * (edgeDB - std::min(db, edgeDB)) / (2 * edgeDB);
}

double EQGraph::frequencyAt(double x, double width) { return lowestHz * std::pow(1000.0, x / width); }

double EQGraph::gainAt(double y, double height) { return edgeDB - 2 * edgeDB * y / height; }

double EQGraph::nodeDB(const EQBand& band, std::span<const double> response, double outputGainDB) {
  if (quar::usesGain(band.type)) return band.gainDB;
  const std::array<double, pointCount>& grid = frequencies();
  const auto above = std::ranges::find_if(grid, [&](double hz) { return hz >= band.frequency; });
  const size_t index = above == grid.end() ? pointCount - 1 : static_cast<size_t>(above - grid.begin());
  return response[index] - outputGainDB;
}

EQGraph::Plot EQGraph::plot(const EQSettings& settings, double sampleRate, QSizeF size) {
  const std::array<double, pointCount>& grid = frequencies();
  const std::vector<double> response = settings.responseDB(grid, sampleRate);
  Plot result;
  result.curve.reserve(pointCount);
  for (size_t i = 0; i < pointCount; ++i)
    result.curve.emplace_back(xOf(grid[i], size.width()), yOf(response[i], size.height()));
  for (const EQBand& band : settings.bands)
    result.nodes.emplace_back(xOf(band.frequency, size.width()),
                              yOf(nodeDB(band, response, settings.outputGainDB), size.height()));
  return result;
}

std::optional<size_t> EQGraph::grabbed(const std::vector<QPointF>& nodes, QPointF start) {
  std::optional<size_t> nearest;
  double nearestDistance = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const double distance = std::hypot(nodes[i].x() - start.x(), nodes[i].y() - start.y());
    if (!nearest || distance < nearestDistance) {
      nearest = i;
      nearestDistance = distance;
    }
  }
  if (nearest && nearestDistance < grabDistance) return nearest;
  return std::nullopt;
}

EQBand EQGraph::dragged(EQBand band, QPointF location, QSizeF size) {
  const double hz = frequencyAt(location.x(), size.width());
  band.frequency = hz <= lowestHz ? lowestHz : roundedToTenths(std::min(hz, highestHz));
  if (quar::usesGain(band.type)) {
    const double db = gainAt(location.y(), size.height());
    band.gainDB = db <= -edgeDB ? -edgeDB : roundedToTenths(std::min(db, edgeDB));
  }
  return band;
}

QString EQGraph::nodeHelp(const EQBand& band) {
  return QUtf8StringView(quar::displayName(band.type)).toString() + QStringLiteral(" \u00B7 ") +
         QString::number(std::trunc(band.frequency), 'f', 0) + QStringLiteral(" Hz");
}

bool EQGraph::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const EQSettings settings = settings_.get();
  const Plot shape = plot(settings, sampleRate_, plotRect().size());
  const QPointF pointer = inPlot(help->pos());
  // The topmost node under the pointer: later bands are drawn on top.
  for (size_t i = shape.nodes.size(); i-- > 0;) {
    if (std::hypot(shape.nodes[i].x() - pointer.x(), shape.nodes[i].y() - pointer.y()) <= nodeDiameter / 2) {
      QToolTip::showText(help->globalPos(), nodeHelp(settings.bands[i]), this);
      return true;
    }
  }
  QToolTip::hideText();
  event->ignore();
  return true;
}

void EQGraph::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(faded(Theme::label(palette()), 0.04));
  painter.drawRoundedRect(QRectF(rect()), 6, 6);

  const QRectF area = plotRect();
  painter.translate(area.topLeft());
  drawGrid(painter, area.size());
  const double w = area.width();
  const double h = area.height();
  const EQSettings settings = settings_.get();
  const Plot shape = plot(settings, sampleRate_, area.size());
  const QColor curveColor = Theme::waveform.resolved(palette());
  QPainterPath curve(shape.curve.front());
  for (size_t i = 1; i < shape.curve.size(); ++i) curve.lineTo(shape.curve[i]);
  QPainterPath shading = curve;
  shading.lineTo(w, h / 2);
  shading.lineTo(0, h / 2);
  shading.closeSubpath();
  painter.fillPath(shading, faded(curveColor, 0.15));
  painter.strokePath(curve, QPen(curveColor, 2));

  const bool dark = Theme::isDark(palette());
  const double radius = nodeDiameter / 2;
  for (size_t i = 0; i < settings.bands.size(); ++i) {
    const EQBand& band = settings.bands[i];
    const QPointF centre = shape.nodes[i];
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 42));  // the node's soft shadow
    painter.drawEllipse(centre, radius + 1, radius + 1);
    painter.setBrush(faded(EQEditor::bandColor(i).resolved(dark), band.isEnabled ? 1.0 : 0.3));
    painter.setPen(QPen(Qt::white, selected_.get() == band.id ? 2 : 0.5));
    painter.drawEllipse(centre, radius, radius);
  }
}

void EQGraph::drawGrid(QPainter& painter, QSizeF size) const {
  const double w = size.width();
  const double h = size.height();
  const QColor primary = Theme::label(palette());

  painter.setFont(TextDrawing::font(labelSize));
  const QColor labelColor = Theme::tertiaryLabel(palette());
  for (const double hz : frequencyGrid) {
    const double x = xOf(hz, w);
    painter.setPen(QPen(faded(primary, 0.08), 1));
    painter.drawLine(QPointF(x, 0), QPointF(x, h));
    painter.setPen(labelColor);
    TextDrawing::drawCentred(painter, QPointF(x, h - 6), frequencyLabel(hz));
  }
  for (const double db : gainGrid) {
    const double y = yOf(db, h);
    painter.setPen(QPen(faded(primary, db == 0 ? 0.2 : 0.08), 1));
    painter.drawLine(QPointF(0, y), QPointF(w, y));
    if (db == 0) continue;
    painter.setPen(labelColor);
    TextDrawing::drawCentred(painter, QPointF(10, y), QString::number(static_cast<int>(db)));
  }
}

void EQGraph::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const EQSettings settings = settings_.get();
  const std::optional<size_t> band =
      grabbed(plot(settings, sampleRate_, plotRect().size()).nodes, inPlot(event->position()));
  if (!band) return;
  dragging_ = settings.bands[*band].id;
  selected_.set(dragging_);
  moveDraggedBand(inPlot(event->position()));
}

void EQGraph::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) moveDraggedBand(inPlot(event->position()));
}

void EQGraph::mouseReleaseEvent(QMouseEvent*) { dragging_.reset(); }

void EQGraph::moveDraggedBand(QPointF location) {
  EQSettings settings = settings_.get();
  const auto band = std::ranges::find_if(settings.bands, [&](const EQBand& b) { return b.id == *dragging_; });
  if (band == settings.bands.end()) return;
  *band = dragged(*band, location, plotRect().size());
  settings_.set(settings);
}
