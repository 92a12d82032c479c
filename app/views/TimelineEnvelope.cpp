#include "views/TimelineEnvelope.h"

#include <QPainter>

#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineCanvas.h"
#include "widgets/ViewStyle.h"

namespace TimelineEnvelope {

namespace {

// Points between the samples of the edited curve and of the others.
constexpr double editedStep = 2;
constexpr double otherStep = 4;
constexpr double pointRadius = 4;
constexpr double largePointRadius = 5.5;

void drawPoints(TimelineCanvas& canvas, const quar::GainEnvelope& envelope, const QColor& color) {
  const TimelineGeometry& g = canvas.geometry;
  QPainter& painter = canvas.painter;
  painter.setBrush(color);
  painter.setPen(QPen(canvas.color(Theme::laneBackground), 1.5));
  for (const quar::EnvelopePoint& point : envelope.points) {
    const double x = g.x(static_cast<double>(point.frame));
    if (!(-8 < x && x < g.width + 8)) continue;
    const bool large = point.id == canvas.gesture.hoveredPoint || point.id == canvas.gesture.draggedPoint;
    const double r = large ? largePointRadius : pointRadius;
    painter.drawEllipse(QRectF(x - r, g.envelopeY(point.gainDB) - r, 2 * r, 2 * r));
  }
}

void drawScaleLabels(TimelineCanvas& canvas, const QRectF& band, double zeroY) {
  QPainter& painter = canvas.painter;
  const QString range = wholeDB(canvas.model.viewSettings().envelopeRangeDB());
  painter.setFont(TextDrawing::font(9, QFont::Medium));
  const QColor color = canvas.color(Theme::envelope, 0.7);
  canvas.drawLabel({4, band.top() - 2}, QStringLiteral("+") + range, color);
  canvas.drawLabel({4, zeroY - 12}, QStringLiteral("0 dB"), color);
  canvas.drawLabel({4, band.bottom() - 12}, QStringLiteral(u"\u2212") + range, color);
}

const QFont& chipFont() {
  static const QFont font = TextDrawing::font(10, QFont::DemiBold);
  return font;
}

QString chipLabel(const EditorModel& model, std::optional<int> target) {
  return target ? model.channelName(*target) : QStringLiteral("All");
}

void drawTargetChips(TimelineCanvas& canvas, double captionLimit) {
  const EditorModel& model = canvas.model;
  const QRectF lane = canvas.geometry.loudnessRect();
  canvas.targetChips = chipLayout(model, canvas.geometry.width, lane.top());
  if (canvas.targetChips.empty()) return;
  const quar::EnvelopeSet& envelopes = model.envelopes();
  const std::optional<int> edited = model.envelopeTarget();
  QPainter& painter = canvas.painter;
  const QColor color = canvas.color(Theme::envelope);
  painter.setFont(chipFont());
  for (const TargetChip& chip : canvas.targetChips) {
    const bool selected = chip.target == edited;
    if (selected) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
    } else {
      painter.setPen(QPen(canvas.color(Theme::envelope, 0.6), 1));
      painter.setBrush(Qt::NoBrush);
    }
    painter.drawRoundedRect(chip.rect, 7.5, 7.5);
    painter.setPen(selected ? QColor(Qt::black) : color);
    TextDrawing::draw(painter, {chip.rect.left() + 6, chip.rect.top() + 1}, chipLabel(model, chip.target));
    // A dot on targets that carry an envelope.
    if (!selected && !envelopes.envelope(chip.target).points.empty()) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
      painter.drawEllipse(QRectF(chip.rect.right() - 4, chip.rect.top() - 1, 4, 4));
    }
  }
  const QFont captionFont = TextDrawing::font(10);
  const QString caption = QStringLiteral("Gain for");
  const double captionLeft = canvas.targetChips.back().rect.left() - 4 - TextDrawing::size(captionFont, caption).width() - 2;
  if (captionLeft < captionLimit) return;
  painter.setFont(captionFont);
  painter.setPen(Theme::tertiaryLabel(canvas.palette));
  TextDrawing::draw(painter, {captionLeft, lane.top() + 4}, caption);
}

void drawReadout(TimelineCanvas& canvas, const Readout& readout, const QRectF& lane) {
  QPainter& painter = canvas.painter;
  const QFont font = TextDrawing::font(11, QFont::DemiBold);
  const QRectF box = readoutBox(TextDrawing::size(font, readout.text), readout.at, canvas.geometry.width, lane.top());
  painter.setPen(Qt::NoPen);
  painter.setBrush(ViewStyle::withAlpha(canvas.palette.color(QPalette::Window), 0.92));
  painter.drawRoundedRect(box, 5, 5);
  painter.setFont(font);
  painter.setPen(Theme::label(canvas.palette));
  TextDrawing::draw(painter, {box.left() + 6, box.top() + 3}, readout.text);
}

} // namespace

std::vector<std::optional<int>> targets(int channelCount) {
  std::vector<std::optional<int>> list;
  if (channelCount > 1)
    for (int c = 0; c < channelCount; ++c) list.emplace_back(c);
  list.emplace_back(std::nullopt);
  return list;
}

QString wholeDB(double dB) {
  return QString::number(
      quar::clampedInt(dB, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

QRectF readoutBox(QSizeF size, QPointF at, double width, double laneTop) {
  QRectF box(at.x() + 12, at.y() - size.height() - 10, size.width() + 12, size.height() + 6);
  if (box.right() > width - 4) box.moveLeft(at.x() - (size.width() + 12) - 12);
  if (box.top() < laneTop) box.moveTop(at.y() + 10);
  return box;
}

std::vector<TargetChip> chipLayout(const EditorModel& model, double width, double laneTop) {
  std::vector<TargetChip> chips;
  const std::vector<std::optional<int>> list = targets(model.content().channelCount());
  if (list.size() < 2) return chips;
  double x = width - 40;
  for (auto target = list.rbegin(); target != list.rend(); ++target) {
    const double w = TextDrawing::size(chipFont(), chipLabel(model, *target)).width();
    const QRectF chip(x - w - 12, laneTop + 3, w + 12, 15);
    chips.push_back({*target, chip});
    x = chip.left() - 4;
  }
  return chips;
}

QPolygonF curve(const quar::GainEnvelope& envelope, const TimelineGeometry& geometry, double step) {
  QPolygonF line;
  for (int i = 0; i * step <= geometry.width + step; ++i) {
    const double x = i * step;
    line.append({x, geometry.envelopeY(envelope.gainDB(geometry.frame(x)))});
  }
  return line;
}

// The polyline without the inner points of its level runs: the same line, far cheaper to stroke
// where the envelope holds its gain.
QPolygonF withoutLevelRuns(const QPolygonF& line) {
  QPolygonF kept;
  for (qsizetype i = 0; i < line.size(); ++i)
    if (i == 0 || i + 1 == line.size() || line[i - 1].y() != line[i].y() || line[i + 1].y() != line[i].y())
      kept.append(line[i]);
  return kept;
}

double zeroLineY(const TimelineGeometry& geometry) { return std::round(geometry.envelopeY(0)) + 0.5; }

Curves curves(const TimelineCanvas& canvas) {
  const EditorModel& model = canvas.model;
  const TimelineGeometry& g = canvas.geometry;
  const quar::EnvelopeSet& envelopes = model.envelopes();
  const std::optional<int> edited = model.envelopeTarget();
  const quar::GainEnvelope& envelope = envelopes.envelope(edited);
  Curves result;
  result.zeroY = zeroLineY(g);
  result.right = g.envelopeBand().right();
  if (const std::optional<quar::FrameRange>& highlight = canvas.gesture.highlight) {
    const double x0 = g.x(static_cast<double>(highlight->lowerBound));
    const double w = std::max(1.0, g.x(static_cast<double>(highlight->upperBound)) - x0);
    const QRectF lane = g.loudnessRect();
    result.highlight = QRectF(x0, lane.top(), w, lane.height());
  }
  for (const std::optional<int>& target : targets(model.content().channelCount())) {
    if (target == edited) continue;
    const quar::GainEnvelope& other = envelopes.envelope(target);
    if (!other.points.empty()) result.others.push_back(curve(other, g, otherStep));
  }
  result.edited = curve(envelope, g, editedStep);
  result.filled = !envelope.isFlat();
  result.hasPoints = !envelope.points.empty();
  return result;
}

void drawCurves(TimelineCanvas& canvas, const Curves& curves) {
  const TimelineGeometry& g = canvas.geometry;
  QPainter& painter = canvas.painter;
  painter.save();
  painter.setClipRect(g.loudnessRect());

  QPen reference = TimelineCanvas::linePen(canvas.color(Theme::envelope, 0.25));
  reference.setDashPattern({2, 3});
  painter.setPen(reference);
  painter.drawLine(QLineF(0, curves.zeroY, curves.right, curves.zeroY));

  if (curves.highlight) painter.fillRect(*curves.highlight, canvas.color(Theme::envelope, 0.12));

  QPen others = TimelineCanvas::linePen(canvas.color(Theme::envelope, 0.3));
  others.setDashPattern({4, 3});
  painter.setPen(others);
  for (const QPolygonF& other : curves.others) painter.drawPolyline(other);

  if (curves.filled) {
    // Between the curve and the 0 dB line.
    QPolygonF area = curves.edited;
    area << QPointF(g.width + editedStep, curves.zeroY) << QPointF(0, curves.zeroY);
    painter.setPen(Qt::NoPen);
    painter.setBrush(canvas.color(Theme::envelopeFill));
    painter.drawPolygon(area, Qt::WindingFill);
  }
  painter.setPen(TimelineCanvas::linePen(canvas.color(Theme::envelope, curves.hasPoints ? 0.95 : 0.45), 1.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(withoutLevelRuns(curves.edited));
  painter.restore();
}

void drawMarks(TimelineCanvas& canvas, double captionLimit) {
  const EditorModel& model = canvas.model;
  const TimelineGeometry& g = canvas.geometry;
  QPainter& painter = canvas.painter;
  const QRectF lane = g.loudnessRect();
  painter.save();
  painter.setClipRect(lane);
  drawScaleLabels(canvas, g.envelopeBand(), zeroLineY(g));
  drawPoints(canvas, model.envelopes().envelope(model.envelopeTarget()), canvas.color(Theme::envelope));
  drawTargetChips(canvas, captionLimit);
  painter.restore();
}

void drawReadout(TimelineCanvas& canvas) {
  if (!canvas.gesture.readout) return;
  const QRectF lane = canvas.geometry.loudnessRect();
  canvas.painter.save();
  canvas.painter.setClipRect(lane);
  drawReadout(canvas, *canvas.gesture.readout, lane);
  canvas.painter.restore();
}

} // namespace TimelineEnvelope
