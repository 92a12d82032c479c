#include "views/TimelineLoudness.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstring>
#include <limits>

#include "base/Numbers.h"
#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineCanvas.h"
#include "views/TimelineEnvelope.h"

namespace TimelineLoudness {

namespace {

constexpr double floorLUFS = -54;
constexpr double bottomMargin = 4;
constexpr double topMargin = 14;
// A curve value this low or lower is silence: the curve breaks there.
constexpr double silentLUFS = -100;
// The envelopes are sampled this many hops before a value's place: a value sums the audio up to it.
constexpr double shiftLagHops = 5;
constexpr int64_t indexLimit = std::numeric_limits<int64_t>::max() / 2;
// The legend begins this far from the lane's left edge and keeps this far from the chips.
constexpr double legendLeft = 8;
constexpr double legendGap = 8;
// The scale's labels lie in this many points at the lane's right end.
constexpr double scaleColumn = 30;

// A one-point horizontal line's y over a loudness.
double lineY(double lufs, const QRectF& lane) { return std::round(y(lufs, lane)) + 0.5; }

void drawHorizontal(QPainter& painter, double lineY, double width) { painter.drawLine(QLineF(0, lineY, width, lineY)); }

void drawGridLines(TimelineCanvas& canvas, const QRectF& lane) {
  std::vector<QLineF> lines;
  for (int lufs = -48; lufs <= -6; lufs += 6) lines.emplace_back(0, lineY(lufs, lane), lane.right(), lineY(lufs, lane));
  canvas.fillLines(lines, canvas.color(Theme::gridLine));
}

void drawGridLabels(TimelineCanvas& canvas, const QRectF& lane) {
  canvas.painter.setFont(TextDrawing::font(9));
  for (int lufs = -48; lufs <= -12; lufs += 12)
    canvas.drawLabel({lane.right() - 30, y(lufs, lane) - 11}, QString::number(lufs),
                     Theme::tertiaryLabel(canvas.palette));
}

void drawCurve(TimelineCanvas& canvas, const std::vector<QPolygonF>& runs, const QColor& color, double width) {
  QPainterPath path;
  for (const QPolygonF& run : runs) {
    path.moveTo(run.front());
    for (qsizetype i = 1; i < run.size(); ++i) path.lineTo(run[i]);
  }
  QPen pen = TimelineCanvas::linePen(color, width);
  pen.setJoinStyle(Qt::RoundJoin);
  canvas.painter.strokePath(path, pen);
}

void drawUnderlay(TimelineCanvas& canvas, const Underlay& underlay) {
  QPainter& painter = canvas.painter;
  const QRectF& lane = underlay.lane;
  painter.fillRect(lane, canvas.color(Theme::laneBackground));
  painter.fillRect(QRectF(0, lane.top(), lane.width(), 1), canvas.color(Theme::laneBorder));
  drawGridLines(canvas, lane);
  const double width = lane.right();
  if (underlay.targetY) {
    QPen target = TimelineCanvas::linePen(canvas.color(Theme::loudnessTarget));
    target.setDashPattern({5, 4});
    painter.setPen(target);
    drawHorizontal(painter, *underlay.targetY, width);
  }
  if (underlay.integratedY)
    canvas.fillLines({{0, *underlay.integratedY, width, *underlay.integratedY}},
                     canvas.color(Theme::loudnessIntegrated, 0.8));
  drawCurve(canvas, underlay.momentary, canvas.color(Theme::loudnessMomentary), 1.0);
  drawCurve(canvas, underlay.shortTerm, canvas.color(Theme::loudnessShortTerm), 1.6);
  TimelineEnvelope::drawCurves(canvas, underlay.envelope);
}

// Copies the device rows of `pixels` from `from` into the canvas's image, when nothing the
// painter holds (a clip, a transform beyond the scale) would have changed what it draws there.
bool copyPixels(TimelineCanvas& canvas, const QImage& from, const QRect& pixels) {
  QPainter& painter = canvas.painter;
  if (painter.hasClipping() || painter.opacity() != 1 ||
      painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
      painter.deviceTransform() != QTransform::fromScale(canvas.scale, canvas.scale) ||
      !canvas.image.rect().contains(pixels))
    return false;
  const auto bytes = static_cast<size_t>(pixels.width()) * 4;
  for (int row = pixels.top(); row <= pixels.bottom(); ++row)
    std::memcpy(canvas.image.scanLine(row) + static_cast<ptrdiff_t>(pixels.left()) * 4,
                from.constScanLine(row) + static_cast<ptrdiff_t>(pixels.left()) * 4, bytes);
  return true;
}

// The underlay from the cache's picture when it shows the same one, else drawn into the picture
// first. The lane is opaque, so its picture does not depend on what lies beneath; a lane off
// the device pixels (its edge rows blend with the image) is drawn directly.
void drawUnderlay(TimelineCanvas& canvas, const Underlay& underlay, UnderlayCache* cache) {
  const std::optional<QRect> pixels = canvas.devicePixels(underlay.lane);
  if (!cache || !pixels) {
    drawUnderlay(canvas, underlay);
    return;
  }
  QImage& picture = cache->picture;
  const bool fits = picture.size() == canvas.image.size() && picture.format() == canvas.image.format() &&
                    picture.devicePixelRatio() == canvas.scale;
  if (!fits || !(cache->underlay == underlay)) {
    if (!fits) {
      picture = QImage(canvas.image.size(), canvas.image.format());
      picture.setDevicePixelRatio(canvas.scale);
    }
    TimelineCanvas layer(picture, canvas.model, canvas.palette);
    layer.painter.setRenderHint(QPainter::Antialiasing);
    drawUnderlay(layer, underlay);
    cache->underlay = underlay;
  }
  if (!copyPixels(canvas, picture, *pixels)) canvas.painter.drawImage(underlay.lane, picture, QRectF(*pixels));
}

const QFont& legendFont() {
  static const QFont font = TextDrawing::font(10, QFont::DemiBold);
  return font;
}

void drawLegend(TimelineCanvas& canvas, const QRectF& lane, const std::vector<LegendRun>& runs) {
  canvas.painter.setFont(legendFont());
  double x = legendLeft;
  for (const LegendRun& run : runs) {
    const ThemeColor* color = &Theme::loudnessShortTerm;
    if (run.kind == LegendRun::Kind::integrated) color = &Theme::loudnessIntegrated;
    if (run.kind == LegendRun::Kind::target) color = &Theme::loudnessTarget;
    if (run.kind == LegendRun::Kind::gainRange) color = &Theme::envelope;
    canvas.drawLabel({x, lane.top() + 4}, run.text, canvas.color(*color));
    x += TextDrawing::size(legendFont(), run.text).width();
  }
}

} // namespace

double y(double lufs, const QRectF& lane) {
  const double f = lufs <= floorLUFS ? 0 : (std::min(lufs, 0.0) - floorLUFS) / -floorLUFS;
  return lane.bottom() - bottomMargin - f * (lane.height() - bottomMargin - topMargin);
}

double envelopeShiftDB(const quar::EnvelopeSet& envelopes, int channelCount, double frame) {
  const int n = std::max(1, channelCount);
  double power = 0;
  for (int c = 0; c < n; ++c) power += std::pow(10.0, envelopes.gainDB(c, frame) / 10);
  return 10 * std::log10(power / n);
}

std::vector<QPolygonF> curve(std::span<const float> values, const CurveSpan& span, const quar::EnvelopeSet* envelopes,
                             int channelCount, const QRectF& lane) {
  std::vector<QPolygonF> runs;
  const double hop = span.hop;
  if (!(std::isfinite(hop) && hop > 0) || values.empty()) return runs;
  const auto index = [](double x) { return quar::clampedInt(x, -indexLimit, indexLimit); };
  const auto count = static_cast<int64_t>(values.size());
  const int64_t first = std::max<int64_t>(0, index(span.scrollFrame / hop) - 2);
  const int64_t last =
      std::min(count - 1, index((span.scrollFrame + span.visibleWidth * span.framesPerPoint) / hop) + 2);
  if (last < first) return runs;
  // About one value per point; the values that share one show their peak.
  const int64_t stride = std::max<int64_t>(1, index(static_cast<double>(last - first) / std::max(1.0, span.width)));
  QPolygonF run;
  for (int64_t i = first; i <= last; i += stride) {
    float peak = values[static_cast<size_t>(i)];
    for (int64_t j = i + 1; j < std::min(i + stride, last + 1); ++j) peak = std::max(peak, values[static_cast<size_t>(j)]);
    double v = peak;
    const double t = hop * static_cast<double>(i + 1);
    if (envelopes && v > silentLUFS) v += envelopeShiftDB(*envelopes, channelCount, t - shiftLagHops * hop);
    if (!(v > silentLUFS)) {
      if (!run.isEmpty()) runs.push_back(std::exchange(run, {}));
      continue;
    }
    run.append({(t - span.scrollFrame) / span.framesPerPoint, y(v, lane)});
  }
  if (!run.isEmpty()) runs.push_back(std::move(run));
  return runs;
}

std::vector<LegendRun> legend(double integratedLUFS, double targetLUFS, double envelopeRangeDB) {
  std::vector<LegendRun> runs{{LegendRun::Kind::shortTerm, QStringLiteral("Short-term LUFS  ")}};
  if (std::isfinite(integratedLUFS))
    runs.push_back({LegendRun::Kind::integrated, QString::asprintf("Integrated %.1f  ", integratedLUFS)});
  runs.push_back({LegendRun::Kind::target, QString::asprintf("Target %.0f", targetLUFS)});
  runs.push_back({LegendRun::Kind::gainRange,
                  QStringLiteral(u"   Gain ±") + TimelineEnvelope::wholeDB(envelopeRangeDB) + QStringLiteral(" dB")});
  return runs;
}

LegendFit fitLegend(const std::vector<LegendRun>& runs, const QFont& font, double left, double right) {
  LegendFit fit{0, left};
  double x = left;
  for (const LegendRun& run : runs) {
    QString shown = run.text;
    while (shown.endsWith(u' ')) shown.chop(1);
    const double end = x + TextDrawing::size(font, shown).width();
    if (end > right) break;
    fit = {fit.runs + 1, end};
    x += TextDrawing::size(font, run.text).width();
  }
  return fit;
}

void draw(TimelineCanvas& canvas) {
  const EditorModel& model = canvas.model;
  const TimelineGeometry& g = canvas.geometry;
  QPainter& painter = canvas.painter;
  const QRectF lane = g.loudnessRect();

  // The lines and curves first, every label above them.
  const LoudnessAnalysis& analysis = model.analysis();
  const std::optional<quar::LoudnessResult>& result =
      analysis.contentLoudness() ? analysis.contentLoudness() : analysis.loudness();
  Underlay underlay;
  underlay.lane = lane;
  underlay.dark = canvas.dark;
  if (result) {
    underlay.targetY = lineY(model.loudnessSettings().targetLUFS(), lane);
    if (std::isfinite(result->integratedLUFS)) underlay.integratedY = lineY(result->integratedLUFS, lane);
    const quar::AudioContent& content = model.content();
    const quar::EnvelopeSet& envelopes = model.envelopes();
    const quar::EnvelopeSet* shift = envelopes.isFlat() ? nullptr : &envelopes;
    const CurveSpan span{result->hopSeconds * content.sampleRate(), g.scrollFrame, g.framesPerPoint,
                         model.viewport().viewWidth(), g.width};
    underlay.momentary = curve(result->momentary, span, shift, content.channelCount(), lane);
    underlay.shortTerm = curve(result->shortTerm, span, shift, content.channelCount(), lane);
  }
  underlay.envelope = TimelineEnvelope::curves(canvas);
  drawUnderlay(canvas, underlay, canvas.underlayCache);
  drawGridLabels(canvas, lane);

  // The legend keeps clear of the chips (or of the scale's labels in mono), dropping its last
  // runs where they do not fit; the chips' caption shows only where the legend leaves room.
  const std::vector<TimelineEnvelope::TargetChip> chips = TimelineEnvelope::chipLayout(model, g.width, lane.top());
  const double legendRight = (chips.empty() ? lane.right() - scaleColumn : chips.back().rect.left()) - legendGap;
  std::vector<LegendRun> runs;
  double legendEnd = legendLeft;
  if (result) {
    // With both results, the legend's figure is the loudness with the envelopes applied.
    const double integrated = analysis.loudness() ? analysis.loudness()->integratedLUFS : result->integratedLUFS;
    runs = legend(integrated, model.loudnessSettings().targetLUFS(), model.viewSettings().envelopeRangeDB());
    const LegendFit fit = fitLegend(runs, legendFont(), legendLeft, legendRight);
    runs.resize(fit.runs);
    legendEnd = fit.right;
  }
  const QString caption =
      analysis.isAnalyzing() ? QStringLiteral(u"Measuring loudness…") : QStringLiteral("Loudness");
  if (!result) legendEnd += TextDrawing::size(legendFont(), caption).width();
  TimelineEnvelope::drawMarks(canvas, legendEnd + legendGap);

  if (result) {
    drawLegend(canvas, lane, runs);
  } else {
    painter.setFont(legendFont());
    canvas.drawLabel({legendLeft, lane.top() + 5}, caption, Theme::secondaryLabel(canvas.palette));
  }
  TimelineEnvelope::drawReadout(canvas);
}

} // namespace TimelineLoudness
