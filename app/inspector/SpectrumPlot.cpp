#include "inspector/SpectrumPlot.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "editor/EditorModel.h"
#include "inspector/SpectrumGeometry.h"
#include "inspector/SpectrumState.h"
#include "platform/ObservationScope.h"
#include "widgets/TextDrawing.h"
#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

// Strokes the polyline through `points` segment by segment: as one path, Qt's stroker spends
// many times longer on the outline of a jagged curve than on its segments.
void drawSegments(QPainter& painter, const std::vector<QPointF>& points, const QPen& pen) {
  std::vector<QLineF> lines;
  lines.reserve(points.size());
  for (size_t i = 1; i < points.size(); ++i) lines.emplace_back(points[i - 1], points[i]);
  painter.setPen(pen);
  painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

} // namespace

SpectrumPlot::SpectrumPlot(EditorModel* model, SpectrumState* state, QWidget* parent)
    : QWidget(parent), model_(model), state_(state), tracker_(new ObservationTracker([this] { update(); }, this)) {
  setObjectName(QStringLiteral("spectrumPlot"));
  setFixedHeight(plotHeight);
  setMouseTracking(true);
  tracker_->watch(model_);
  tracker_->watch(state_);
}

const QImage& SpectrumPlot::backdrop(const SpectrumGeometry& geometry, double ratio) {
  const double sampleRate = geometry.nyquist() * 2;
  const auto key = std::make_tuple(size(), ratio, sampleRate, static_cast<int>(state_->frequencyScale()),
                                   static_cast<int>(state_->amplitudeScale()), palette().color(QPalette::Window).rgba(),
                                   palette().color(QPalette::WindowText).rgba());
  if (key == backdropKey_ && !backdrop_.isNull()) return backdrop_;
  backdropKey_ = key;
  backdrop_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  backdrop_.setDevicePixelRatio(ratio);
  backdrop_.fill(Qt::transparent);

  QPainter painter(&backdrop_);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plot = geometry.plot();
  const QColor primary = palette().color(QPalette::WindowText);
  QPainterPath background;
  background.addRoundedRect(plot, 4, 4);
  painter.fillPath(background, ViewStyle::faded(primary, 0.04));

  painter.setFont(TextDrawing::font(9));
  const QPen gridPen(ViewStyle::faded(primary, 0.07), 1);
  const QColor labelColor = ViewStyle::secondary(palette());
  for (const SpectrumGeometry::Tick& tick : geometry.frequencyTicks()) {
    const double x = geometry.x(tick.value);
    painter.setPen(gridPen);
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(labelColor);
    TextDrawing::drawCentred(painter, QPointF(x, plot.bottom() + 9), tick.label);
  }
  for (const SpectrumGeometry::Tick& tick : geometry.levelTicks()) {
    const double y = geometry.y(tick.value);
    painter.setPen(gridPen);
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(labelColor);
    TextDrawing::drawCentred(painter, QPointF(14, y), tick.label);
  }
  return backdrop_;
}

void SpectrumPlot::drawSpectrum(QPainter& painter, const SpectrumGeometry& geometry) {
  const std::vector<float>& spectrum = state_->spectrum();
  if (!SpectrumGeometry::isDrawable(spectrum)) return;
  const QRectF plot = geometry.plot();
  const QColor waveform = Theme::waveform.resolved(palette());
  const std::vector<QPointF> points = geometry.curve(spectrum);

  // The fill's top edge lies under the curve, so it needs no antialiasing.
  QPainterPath fill;
  fill.moveTo(points.empty() ? plot.left() : points.front().x(), plot.bottom());
  for (const QPointF& point : points) fill.lineTo(point);
  fill.lineTo(points.empty() ? plot.right() : points.back().x(), plot.bottom());
  fill.closeSubpath();
  QLinearGradient gradient(0, plot.top(), 0, plot.bottom());
  gradient.setColorAt(0, ViewStyle::faded(waveform, 0.55));
  gradient.setColorAt(1, ViewStyle::faded(waveform, 0.08));
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillPath(fill, gradient);
  painter.setRenderHint(QPainter::Antialiasing, true);
  // Square caps close the joints of the opaque curve; the translucent trace takes flat ones,
  // which overlap least.
  drawSegments(painter, points, QPen(waveform, 1.2, Qt::SolidLine, Qt::SquareCap));

  if (state_->holdPeaks())
    drawSegments(painter, geometry.holdTrace(state_->peakHold(), spectrum.size()),
                 QPen(ViewStyle::faded(ViewStyle::systemOrange.resolved(palette()), 0.7), 1, Qt::SolidLine, Qt::FlatCap));
}

void SpectrumPlot::drawReadout(QPainter& painter, const SpectrumGeometry& geometry) {
  if (!hover_) return;
  const std::optional<SpectrumGeometry::Readout> readout = geometry.readout(*hover_, state_->spectrum());
  if (!readout) return;
  const QRectF plot = geometry.plot();
  const QColor primary = palette().color(QPalette::WindowText);
  painter.setPen(QPen(ViewStyle::faded(primary, 0.35), 1));
  painter.drawLine(QPointF(hover_->x(), plot.top()), QPointF(hover_->x(), plot.bottom()));
  painter.setPen(primary);
  painter.setFont(ViewStyle::font(10, QFont::Medium));
  TextDrawing::drawCentred(painter, readout->labelCenter, readout->text);
}

void SpectrumPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  ObservationScope scope;
  const SpectrumGeometry geometry(size(), model_->content().sampleRate(), state_->fftSize(), state_->frequencyScale(),
                                  state_->amplitudeScale());
  painter.drawImage(QPointF(0, 0), backdrop(geometry, devicePixelRatioF()));
  drawSpectrum(painter, geometry);
  drawReadout(painter, geometry);
  tracker_->setReads(scope.takeReads());
}

void SpectrumPlot::mouseMoveEvent(QMouseEvent* event) {
  hover_ = event->position();
  update();
}

void SpectrumPlot::leaveEvent(QEvent*) {
  hover_.reset();
  update();
}
