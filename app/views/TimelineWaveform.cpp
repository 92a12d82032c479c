#include "views/TimelineWaveform.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

#include "base/Decibels.h"
#include "dsp/ParallelFor.h"
#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineCanvas.h"
#include "widgets/ViewStyle.h"

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

// `src` (premultiplied) laid over `dst` covering `coverage` ([0, 1]) of the pixel.
QRgb over(QRgb dst, QRgb src, double coverage) {
  const double keep = 1 - qAlpha(src) / 255.0 * coverage;
  const auto mix = [&](int s, int d) { return static_cast<int>(s * coverage + d * keep + 0.5); };
  return qRgba(mix(qRed(src), qRed(dst)), mix(qGreen(src), qGreen(dst)), mix(qBlue(src), qBlue(dst)),
               mix(qAlpha(src), qAlpha(dst)));
}

// A bar one device pixel wide in device coordinates, its rows clipped to `clip`: rows first ...
// last, of which the two ends are covered from top and up to bottom.
struct DeviceBar {
  qsizetype x, first, last;
  double top, bottom;
};
std::optional<DeviceBar> deviceBar(const QRectF& bar, const QImage& image, double s, const QRectF& clip) {
  const double clipTop = std::max(std::round(clip.top() * s), 0.0);
  const double clipBottom = std::min(std::round(clip.bottom() * s), static_cast<double>(image.height()));
  const auto x = std::lround(bar.x() * s);
  const double top = std::max(bar.top() * s, clipTop);
  const double bottom = std::min(bar.bottom() * s, clipBottom);
  if (x < 0 || x >= image.width() || !(top < bottom)) return std::nullopt;
  return DeviceBar{x, static_cast<qsizetype>(top), static_cast<qsizetype>(std::ceil(bottom)) - 1, top, bottom};
}

// Fills a bar straight into the image: its ends blend by how much of their pixel they cover.
// Rows `skipFrom` ... `skipTo` of its interior are left out.
void fillBar(QImage& image, const DeviceBar& bar, QRgb src, qsizetype skipFrom = 1, qsizetype skipTo = 0) {
  uchar* const column = image.bits() + bar.x * static_cast<qsizetype>(sizeof(QRgb));
  const qsizetype stride = image.bytesPerLine();
  const auto pixel = [&](qsizetype y) -> QRgb& { return *reinterpret_cast<QRgb*>(column + y * stride); };
  const auto blendEnd = [&](qsizetype y) {
    pixel(y) = over(pixel(y), src, std::min(bar.bottom, y + 1.0) - std::max(bar.top, static_cast<double>(y)));
  };
  const bool opaque = qAlpha(src) == 255;
  const auto fill = [&](qsizetype from, qsizetype to) {
    for (qsizetype y = from; y < to; ++y) pixel(y) = opaque ? src : over(pixel(y), src, 1);
  };
  blendEnd(bar.first);
  if (bar.last == bar.first) return;
  if (skipFrom <= skipTo) {
    fill(bar.first + 1, std::clamp(skipFrom, bar.first + 1, bar.last));
    fill(std::clamp(skipTo + 1, bar.first + 1, bar.last), bar.last);
  } else {
    fill(bar.first + 1, bar.last);
  }
  blendEnd(bar.last);
}

// Fills a lane's bars straight into the canvas's image, rows clipped to the lane: a lane has
// thousands of them, far too many for one painter call each. Each column is done at once, the
// RMS bar right over its peak bar, which leaves out what an opaque RMS bar covers whole, so that
// the rows it crosses are still in the cache; the clip ticks follow.
void fillBars(TimelineCanvas& canvas, const Bars& bars, const QColor& peakColor, const QColor& rmsColor,
              const QColor& clipColor, const QRectF& lane) {
  QImage& image = canvas.image;
  const double s = canvas.scale;
  const QRgb peak = qPremultiply(peakColor.rgba());
  const QRgb rms = qPremultiply(rmsColor.rgba());
  // Every RMS bar lies in the column of a peak bar, in the same order.
  auto rmsBar = bars.rms.begin();
  for (const QRectF& peakBar : bars.peak) {
    const bool withRms = rmsBar != bars.rms.end() && rmsBar->x() == peakBar.x();
    const std::optional<DeviceBar> r = withRms ? deviceBar(*rmsBar, image, s, lane) : std::nullopt;
    if (withRms) ++rmsBar;
    if (const std::optional<DeviceBar> p = deviceBar(peakBar, image, s, lane)) {
      if (r && qAlpha(rms) == 255)
        fillBar(image, *p, peak, r->first + 1, r->last - 1);
      else
        fillBar(image, *p, peak);
    }
    if (r) fillBar(image, *r, rms);
  }
  const QRgb clip = qPremultiply(clipColor.rgba());
  for (const QRectF& tick : bars.clip)
    if (const std::optional<DeviceBar> c = deviceBar(tick, image, s, lane)) fillBar(image, *c, clip);
}

// Frames per device pixel of a span in peak mode; none in sample mode or for a span that cannot
// be drawn in either.
std::optional<double> peakStep(const LaneSpan& span) {
  const double s = span.scale;
  const double p = span.framesPerPoint / s;
  if (!(s > 0) || !(p >= 1) || !std::isfinite(p) || !std::isfinite(span.scrollFrame)) return std::nullopt;
  return p;
}

int64_t columnCount(const LaneSpan& span) {
  return static_cast<int64_t>(std::ceil(std::max(span.lane.width(), 0.0) * span.scale));
}

// One peak query per device-pixel column for each of the channels, all spread over the worker
// pool together in runs of columns. A column that starts past the end stays empty, like every
// column after it.
std::vector<std::vector<quar::PeakSummary>> columnPeaks(const quar::AudioContent& content,
                                                        const std::vector<int>& channels, const LaneSpan& span,
                                                        double p) {
  const auto frames = static_cast<double>(content.frameCount());
  const int64_t columns = columnCount(span);
  std::vector<std::vector<quar::PeakSummary>> summaries(channels.size(),
                                                        std::vector<quar::PeakSummary>(static_cast<size_t>(columns)));
  constexpr int64_t run = 64;
  const int64_t runs = (columns + run - 1) / run;
  const auto count = runs * static_cast<int64_t>(channels.size());
  quar::parallelFor(count, count > 1, [&](int64_t job) {
    const auto c = static_cast<size_t>(job / runs);
    const int64_t r = job % runs;
    for (int64_t i = r * run; i < std::min(columns, (r + 1) * run); ++i) {
      const double t = span.scrollFrame + p * static_cast<double>(i);
      const double start = std::trunc(t);
      const double end = std::max(start + 1, std::trunc(t + p));
      if (start >= frames || end < 1) continue;
      summaries[c][static_cast<size_t>(i)] = content.peaks(
          channels[c], {static_cast<int64_t>(std::max(start, 0.0)), static_cast<int64_t>(std::min(end, frames))});
    }
  });
  return summaries;
}

Bars barsOf(const std::vector<quar::PeakSummary>& summaries, int channel, const quar::EnvelopeSet* envelopes,
            const LaneSpan& span, double p) {
  Bars result;
  const double s = span.scale;
  const double w = 1 / s;
  result.peak.reserve(summaries.size());
  for (size_t i = 0; i < summaries.size(); ++i) {
    quar::PeakSummary summary = summaries[i];
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

} // namespace

bool isSampleMode(const LaneSpan& span) { return !(span.framesPerPoint / span.scale >= 1); }

Bars bars(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span) {
  const std::optional<double> p = peakStep(span);
  if (!p) return {};
  return barsOf(columnPeaks(content, {channel}, span, *p).front(), channel, envelopes, span, *p);
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

namespace {

// `peaks`: the lane's column peaks in peak mode.
void drawWaveform(TimelineCanvas& canvas, int channel, const QRectF& lane, double halfHeight,
                  const std::vector<quar::PeakSummary>* peaks) {
  const EditorModel& model = canvas.model;
  const bool active = model.activeChannels().contains(channel);
  const QColor peakColor = canvas.color(active ? Theme::waveform : Theme::waveformDimmed);
  const QColor rmsColor = canvas.color(active ? Theme::waveformRMS : Theme::waveformDimmed);
  const quar::EnvelopeSet& envelopes = model.envelopes();
  const quar::EnvelopeSet* applied = envelopes.isFlat() ? nullptr : &envelopes;
  const quar::AudioContent& content = model.content();
  if (content.frameCount() == 0) return;
  const LaneSpan span{lane, halfHeight, canvas.geometry.scrollFrame, canvas.geometry.framesPerPoint,
                      model.viewport().viewWidth(), canvas.scale};
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
  const std::optional<double> p = peakStep(span);
  if (!p || !peaks) return;
  fillBars(canvas, barsOf(*peaks, channel, applied, span, *p), peakColor, rmsColor, canvas.color(Theme::clip), lane);
}

void drawLane(TimelineCanvas& canvas, int channel, const std::vector<quar::PeakSummary>* peaks) {
  QPainter& painter = canvas.painter;
  const EditorModel& model = canvas.model;
  const QRectF r = canvas.geometry.laneRect(channel);
  painter.fillRect(r, canvas.color(Theme::laneBackground));
  const double halfHeight = r.height() * 0.5 * model.viewport().amplitudeZoom();
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
  drawWaveform(canvas, channel, r, halfHeight, peaks);
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

  const QString zoomLabel = amplitudeZoomLabel(model.viewport().amplitudeZoom());
  if (!zoomLabel.isEmpty()) {
    painter.setFont(TextDrawing::font(9));
    painter.setPen(Theme::tertiaryLabel(canvas.palette));
    TextDrawing::draw(painter, {r.right() - 26, r.top() + 4}, zoomLabel);
  }
}

} // namespace

void drawLanes(TimelineCanvas& canvas) {
  const TimelineGeometry& g = canvas.geometry;
  const EditorModel& model = canvas.model;
  // In peak mode, the peak queries of every lane go to the worker pool together.
  std::vector<std::vector<quar::PeakSummary>> peaks;
  if (g.channelCount > 0 && g.frameCount > 0) {
    const LaneSpan span{g.laneRect(0), 0, g.scrollFrame, g.framesPerPoint, model.viewport().viewWidth(), canvas.scale};
    if (const std::optional<double> p = peakStep(span)) {
      std::vector<int> channels(static_cast<size_t>(g.channelCount));
      std::iota(channels.begin(), channels.end(), 0);
      peaks = columnPeaks(model.content(), channels, span, *p);
    }
  }
  for (int channel = 0; channel < g.channelCount; ++channel)
    drawLane(canvas, channel, peaks.empty() ? nullptr : &peaks[static_cast<size_t>(channel)]);
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
