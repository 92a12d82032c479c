#include "views/TimelineWaveform.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"
#include "views/TextDrawing.h"
#include "views/TimelineCanvas.h"

namespace TimelineWaveform {

namespace {

// y of a sample value, kept just beyond the lane (whose clip hides it anyway) and NaN on the
// centre line, so that no non-finite or far-off coordinate reaches the rasteriser.
double laneY(const LaneSpan& span, double value) {
  const double y = span.lane.center().y() - span.halfHeight * value;
  if (std::isnan(y)) return span.lane.center().y();
  return std::clamp(y, span.lane.top() - 1, span.lane.bottom() + 1);
}

float linearGain(const quar::EnvelopeSet& envelopes, int channel, double frame) {
  return static_cast<float>(std::pow(10.0, envelopes.gainDB(channel, frame) / 20));
}

void drawWaveform(TimelineCanvas& canvas, int channel, const QRectF& lane, double halfHeight) {
  const EditorModel& model = canvas.model;
  const bool active = model.activeChannels().contains(channel);
  const QColor peakColor = canvas.color(active ? Theme::waveform : Theme::waveformDimmed);
  const QColor rmsColor = canvas.color(active ? Theme::waveformRMS : Theme::waveformDimmed);
  const quar::EnvelopeSet& envelopes = model.envelopes();
  const quar::EnvelopeSet* applied = envelopes.isFlat() ? nullptr : &envelopes;
  const quar::AudioContent& content = model.content();
  if (content.frameCount() == 0) return;
  const LaneSpan span{lane, halfHeight, canvas.geometry.scrollFrame, canvas.geometry.framesPerPoint,
                      model.viewWidth(), canvas.scale};
  QPainter& painter = canvas.painter;
  if (isSampleMode(span)) {
    const Line samples = line(content, channel, applied, span);
    QPen pen = TimelineCanvas::linePen(peakColor, 1.25);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.drawPolyline(samples.points);
    if (samples.dots) {
      QPainterPath dots;
      for (const QPointF& point : samples.points) dots.addEllipse(point, 2, 2);
      painter.fillPath(dots, peakColor);
    }
    return;
  }
  const Bars columns = bars(content, channel, applied, span);
  painter.setPen(Qt::NoPen);
  for (const auto& [rects, color] : {std::pair{&columns.peak, peakColor}, std::pair{&columns.rms, rmsColor},
                                     std::pair{&columns.clip, canvas.color(Theme::clip)}}) {
    painter.setBrush(color);
    painter.drawRects(rects->data(), static_cast<int>(rects->size()));
  }
}

} // namespace

bool isSampleMode(const LaneSpan& span) { return !(span.framesPerPoint / span.scale >= 1); }

Bars bars(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span) {
  Bars result;
  const double s = span.scale;
  const double p = span.framesPerPoint / s;  // frames per device pixel
  if (!(s > 0) || !(p >= 1) || !std::isfinite(p) || !std::isfinite(span.scrollFrame)) return result;
  const auto frames = static_cast<double>(content.frameCount());
  const double columns = std::ceil(std::max(span.lane.width(), 0.0) * s);
  const double w = 1 / s;
  result.peak.reserve(static_cast<size_t>(columns));
  for (double i = 0; i < columns; ++i) {
    const double t = span.scrollFrame + p * i;
    const double start = std::trunc(t);
    if (start >= frames) break;
    const double end = std::max(start + 1, std::trunc(t + p));
    if (end < 1) continue;
    quar::PeakSummary summary = content.peaks(
        channel, {static_cast<int64_t>(std::max(start, 0.0)), static_cast<int64_t>(std::min(end, frames))});
    if (summary.isEmpty()) continue;
    if (envelopes) {
      const float g = linearGain(*envelopes, channel, t + p * 0.5);
      summary.min *= g;
      summary.max *= g;
      summary.sumSquares *= g * g;
    }
    const double x = i / s;
    const double top = laneY(span, summary.max);
    const double bottom = laneY(span, summary.min);
    result.peak.emplace_back(x, top, w, std::max(bottom - top, w));
    const float q = summary.rms();
    const double rmsTop = laneY(span, std::min(summary.max, q));
    const double rmsBottom = laneY(span, std::max(summary.min, -q));
    if (rmsTop < rmsBottom) result.rms.emplace_back(x, rmsTop, w, rmsBottom - rmsTop);
    if (summary.max >= 0.999f || summary.min <= -0.999f) result.clip.emplace_back(x, span.lane.top(), w, 2);
  }
  return result;
}

Line line(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span) {
  Line result;
  const double fpp = span.framesPerPoint;
  if (!(fpp > 0) || !std::isfinite(fpp) || !std::isfinite(span.scrollFrame) || !std::isfinite(span.visibleWidth))
    return result;
  const auto frames = static_cast<double>(content.frameCount());
  // One frame before and two after the visible span, so the line runs off both edges.
  const double first = std::max(std::floor(span.scrollFrame) - 1, 0.0);
  const double last = std::min(std::ceil(span.scrollFrame + span.visibleWidth * fpp) + 2, frames);
  if (!(first < last)) return result;
  const auto start = static_cast<int64_t>(first);
  const std::vector<float> values =
      content.readChannels({start, static_cast<int64_t>(last)})[static_cast<size_t>(channel)];
  result.points.reserve(static_cast<qsizetype>(values.size()));
  for (size_t k = 0; k < values.size(); ++k) {
    const double frame = first + static_cast<double>(k);
    float value = values[k];
    if (envelopes) value *= linearGain(*envelopes, channel, frame);
    result.points.append({(frame - span.scrollFrame) / fpp, laneY(span, value)});
  }
  result.dots = 1 / fpp >= 6;
  return result;
}

void drawLane(TimelineCanvas& canvas, int channel) {
  QPainter& painter = canvas.painter;
  const EditorModel& model = canvas.model;
  const QRectF r = canvas.geometry.laneRect(channel);
  painter.fillRect(r, canvas.color(Theme::laneBackground));
  const double halfHeight = r.height() * 0.5 * model.amplitudeZoom();
  const double midY = r.center().y();

  // -6 and -12 dB guides, left out where the amplitude zoom pushes them out of the lane.
  std::vector<QLineF> guides;
  for (const double dB : {-6.0, -12.0}) {
    const double a = std::pow(10.0, dB / 20);
    if (halfHeight * a >= r.height() * 0.5) continue;
    guides.emplace_back(0, midY - halfHeight * a, r.right(), midY - halfHeight * a);
    guides.emplace_back(0, midY + halfHeight * a, r.right(), midY + halfHeight * a);
  }
  painter.setPen(TimelineCanvas::linePen(canvas.color(Theme::gridLine)));
  painter.drawLines(guides.data(), static_cast<int>(guides.size()));
  painter.setPen(TimelineCanvas::linePen(canvas.color(Theme::centerLine)));
  painter.drawLine(QLineF(0, midY, r.right(), midY));

  painter.save();
  painter.setClipRect(r);
  drawWaveform(canvas, channel, r, halfHeight);
  painter.restore();

  // The channel's name in a capsule.
  const bool active = model.activeChannels().contains(channel);
  const QString name = model.channelName(channel);
  const QFont font = TextDrawing::font(10, QFont::DemiBold);
  const QSizeF size = TextDrawing::size(font, name);
  const QRectF pill(6, r.top() + 5, size.width() + 10, size.height() + 2);
  QColor pillColor = Theme::quaternaryLabel(canvas.palette);
  pillColor.setAlphaF(pillColor.alphaF() * 0.5f);
  painter.setPen(Qt::NoPen);
  painter.setBrush(pillColor);
  painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
  painter.setFont(font);
  painter.setPen(active ? Theme::secondaryLabel(canvas.palette) : Theme::tertiaryLabel(canvas.palette));
  TextDrawing::draw(painter, {6 + 5, r.top() + 5 + 1}, name);

  const QString zoomLabel = amplitudeZoomLabel(model.amplitudeZoom());
  if (!zoomLabel.isEmpty()) {
    painter.setFont(TextDrawing::font(9));
    painter.setPen(Theme::tertiaryLabel(canvas.palette));
    TextDrawing::draw(painter, {r.right() - 26, r.top() + 4}, zoomLabel);
  }
}

QString amplitudeZoomLabel(double zoom) {
  if (!(zoom > 1)) return {};
  return QStringLiteral(u"×") + QString::asprintf("%.0f", zoom);
}

QString emptyHint() { return QStringLiteral("Paste audio (Ctrl+V) or drop a file here"); }

void drawEmptyHint(TimelineCanvas& canvas) {
  QPainter& painter = canvas.painter;
  const QString text = emptyHint();
  const QFont font = TextDrawing::font(15, QFont::Medium);
  const QSizeF size = TextDrawing::size(font, text);
  const QPointF center = canvas.geometry.lanesRect().center();
  painter.setFont(font);
  painter.setPen(Theme::tertiaryLabel(canvas.palette));
  TextDrawing::draw(painter, {center.x() - size.width() / 2, center.y() - size.height() / 2}, text);
}

} // namespace TimelineWaveform
