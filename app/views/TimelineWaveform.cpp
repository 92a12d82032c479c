#include "views/TimelineWaveform.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "dsp/ParallelFor.h"
#include "editor/EditorModel.h"
#include "views/TextDrawing.h"
#include "views/TimelineCanvas.h"
#include "views/ViewStyle.h"

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
  return static_cast<float>(quar::Decibels::toLinear(envelopes.gainDB(channel, frame)));
}

// `src` (premultiplied) laid over `dst` covering `coverage` (0 ... 1) of the pixel.
QRgb over(QRgb dst, QRgb src, double coverage) {
  const double keep = 1 - qAlpha(src) / 255.0 * coverage;
  const auto mix = [&](int s, int d) { return static_cast<int>(s * coverage + d * keep + 0.5); };
  return qRgba(mix(qRed(src), qRed(dst)), mix(qGreen(src), qGreen(dst)), mix(qBlue(src), qBlue(dst)),
               mix(qAlpha(src), qAlpha(dst)));
}

// Fills bars one device pixel wide straight into the canvas's image, rows clipped to `clip`:
// a lane has thousands of them, far too many for one painter call each. A bar's ends blend by
// how much of their pixel they cover. Bars are filled row by row in runs of neighbouring
// columns, so that the image is written along its rows rather than down its columns.
void fillColumns(TimelineCanvas& canvas, const std::vector<QRectF>& bars, const QColor& color, const QRectF& clip) {
  struct Span {
    qsizetype x, first, last;  // column and rows, last included
    double top, bottom;        // device pixels
  };
  QImage& image = canvas.image;
  const double s = canvas.scale;
  const double clipTop = std::max(std::round(clip.top() * s), 0.0);
  const double clipBottom = std::min(std::round(clip.bottom() * s), static_cast<double>(image.height()));
  std::vector<Span> spans;
  spans.reserve(bars.size());
  for (const QRectF& bar : bars) {
    const auto x = std::lround(bar.x() * s);
    const double top = std::max(bar.top() * s, clipTop);
    const double bottom = std::min(bar.bottom() * s, clipBottom);
    if (x < 0 || x >= image.width() || !(top < bottom)) continue;
    spans.push_back({x, static_cast<qsizetype>(top), static_cast<qsizetype>(std::ceil(bottom)) - 1, top, bottom});
  }

  const QRgb src = qPremultiply(color.rgba());
  const bool opaque = qAlpha(src) == 255;
  uchar* const bits = image.bits();
  const qsizetype stride = image.bytesPerLine();
  constexpr size_t run = 64;
  for (size_t begin = 0; begin < spans.size(); begin += run) {
    const auto end = std::min(spans.size(), begin + run);
    qsizetype rowMin = spans[begin].first;
    qsizetype rowMax = spans[begin].last;
    for (size_t k = begin; k < end; ++k) {
      rowMin = std::min(rowMin, spans[k].first);
      rowMax = std::max(rowMax, spans[k].last);
    }
    for (qsizetype y = rowMin; y <= rowMax; ++y) {
      QRgb* const row = reinterpret_cast<QRgb*>(bits + y * stride);
      for (size_t k = begin; k < end; ++k) {
        const Span& span = spans[k];
        if (y < span.first || y > span.last) continue;
        QRgb& pixel = row[span.x];
        if (y == span.first || y == span.last)
          pixel = over(pixel, src, std::min(span.bottom, y + 1.0) - std::max(span.top, static_cast<double>(y)));
        else
          pixel = opaque ? src : over(pixel, src, 1);
      }
    }
  }
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
    // Square-capped segments cover the round-joined line (and differ from it by at most a
    // quarter point at sharp corners); Qt strokes a long round-joined polyline through noisy
    // samples a hundred times slower.
    std::vector<QLineF> segments;
    for (qsizetype k = 1; k < samples.points.size(); ++k)
      segments.emplace_back(samples.points[k - 1], samples.points[k]);
    QPen pen(peakColor, 1.25);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.drawLines(segments.data(), static_cast<int>(segments.size()));
    if (samples.dots) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(peakColor);
      for (const QPointF& point : samples.points) painter.drawEllipse(point, 2, 2);
    }
    return;
  }
  const Bars columns = bars(content, channel, applied, span);
  fillColumns(canvas, columns.peak, peakColor, lane);
  fillColumns(canvas, columns.rms, rmsColor, lane);
  fillColumns(canvas, columns.clip, canvas.color(Theme::clip), lane);
}

} // namespace

bool isSampleMode(const LaneSpan& span) { return !(span.framesPerPoint / span.scale >= 1); }

Bars bars(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span) {
  Bars result;
  const double s = span.scale;
  const double p = span.framesPerPoint / s;  // frames per device pixel
  if (!(s > 0) || !(p >= 1) || !std::isfinite(p) || !std::isfinite(span.scrollFrame)) return result;
  const auto frames = static_cast<double>(content.frameCount());
  const auto columns = static_cast<int64_t>(std::ceil(std::max(span.lane.width(), 0.0) * s));

  // The peak queries, spread over the worker pool in runs of columns. A column that starts past
  // the end stays empty, like every column after it.
  std::vector<quar::PeakSummary> summaries(static_cast<size_t>(columns));
  constexpr int64_t run = 64;
  quar::parallelFor((columns + run - 1) / run, columns > run, [&](int64_t r) {
    for (int64_t i = r * run; i < std::min(columns, (r + 1) * run); ++i) {
      const double t = span.scrollFrame + p * static_cast<double>(i);
      const double start = std::trunc(t);
      const double end = std::max(start + 1, std::trunc(t + p));
      if (start >= frames || end < 1) continue;
      summaries[static_cast<size_t>(i)] = content.peaks(
          channel, {static_cast<int64_t>(std::max(start, 0.0)), static_cast<int64_t>(std::min(end, frames))});
    }
  });

  const double w = 1 / s;
  result.peak.reserve(static_cast<size_t>(columns));
  for (int64_t i = 0; i < columns; ++i) {
    quar::PeakSummary summary = summaries[static_cast<size_t>(i)];
    if (summary.isEmpty()) continue;
    const double t = span.scrollFrame + p * static_cast<double>(i);
    if (envelopes) {
      const float g = linearGain(*envelopes, channel, t + p * 0.5);
      summary.min *= g;
      summary.max *= g;
      summary.sumSquares *= g * g;
    }
    const double x = static_cast<double>(i) / s;
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
    const double a = quar::Decibels::toLinear(dB);
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
  painter.setPen(Qt::NoPen);
  painter.setBrush(ViewStyle::faded(Theme::quaternaryLabel(canvas.palette), 0.5));
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
