#include "views/TimelineRuler.h"

#include <QLocale>
#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineCanvas.h"

namespace TimelineRuler {

namespace {

constexpr double height = TimelineGeometry::rulerHeight;

int decimals(double majorStep) {
  if (majorStep >= 1) return 0;
  if (majorStep >= 0.1) return 1;
  if (majorStep >= 0.01) return 2;
  if (majorStep >= 0.001) return 3;
  return 4;
}

const QFont& flagFont() {
  static const QFont font = TextDrawing::font(10, QFont::Medium);
  return font;
}

bool covered(const QRectF& box, const std::vector<Flag>& flags) {
  return std::any_of(flags.begin(), flags.end(),
                     [&](const Flag& flag) { return box.intersects(flag.body) || box.intersects(flag.stem); });
}

void drawTicks(TimelineCanvas& canvas, const std::vector<Flag>& flags) {
  const TimelineGeometry& g = canvas.geometry;
  const EditorModel& model = canvas.model;
  const double sampleRate = model.content().sampleRate();
  const RulerSteps steps = rulerSteps(g.framesPerPoint / sampleRate, minLabelSpacing);
  const TimeFormat format = model.viewSettings().timeFormat();
  QPainter& painter = canvas.painter;
  const QFont font = TextDrawing::font(10);
  painter.setFont(font);
  painter.setPen(Theme::rulerText(canvas.palette));
  std::vector<QLineF> lines;
  for (const Tick& tick : ticks(g.scrollFrame, g.framesPerPoint, sampleRate, g.width, steps)) {
    lines.emplace_back(tick.x, height - (tick.major ? 9 : 4), tick.x, height - 1);
    if (!tick.major) continue;
    const QString text = label(tick.seconds, steps.major, format, sampleRate);
    const QPointF at(tick.x + 3, 3);
    if (!covered(QRectF(at, TextDrawing::size(font, text)), flags)) TextDrawing::draw(painter, at, text);
  }
  canvas.fillLines(lines, Theme::tertiaryLabel(canvas.palette));
}

void drawSelectionBar(TimelineCanvas& canvas) {
  const std::optional<quar::FrameRange> selection = canvas.model.selection();
  if (!selection) return;
  const TimelineGeometry& g = canvas.geometry;
  const double x0 = g.x(static_cast<double>(selection->lowerBound));
  const double x1 = g.x(static_cast<double>(selection->upperBound));
  canvas.painter.fillRect(QRectF(x0, 22, std::max(x1 - x0, 1.0), 3), canvas.color(Theme::selectionEdge, 0.35));
}

void drawMarkerFlags(TimelineCanvas& canvas, const std::vector<Flag>& flags) {
  QPainter& painter = canvas.painter;
  painter.setFont(flagFont());
  const QColor flagColor = canvas.color(Theme::marker);
  const QColor textColor(0, 0, 0, 217);  // black at 0.85
  for (const Flag& flag : flags) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(flagColor);
    if (!flag.body.isEmpty()) painter.drawRoundedRect(flag.body, 3, 3);
    painter.fillRect(flag.stem, flagColor);
    if (flag.name.isEmpty()) continue;
    const QRectF inner = flag.body.adjusted(4, 0, -4, 0);
    painter.save();
    painter.setClipRect(inner);
    painter.setPen(textColor);
    TextDrawing::draw(painter, {inner.left(), 2.5}, flag.name);
    painter.restore();
  }
}

} // namespace

std::vector<Tick> ticks(double scrollFrame, double framesPerPoint, double sampleRate, double width, RulerSteps steps) {
  std::vector<Tick> result;
  const double secondsPerPoint = framesPerPoint / sampleRate;
  const double t0 = scrollFrame / sampleRate;
  const double t1 = t0 + secondsPerPoint * width;
  if (!std::isfinite(t0) || !std::isfinite(t1) || !(steps.minor > 0)) return result;
  for (double t = steps.minor * std::floor(t0 / steps.minor); t <= t1; t += steps.minor) {
    const double x = TimelineGeometry::lineX((sampleRate * t - scrollFrame) / framesPerPoint);
    const bool major = std::abs(steps.major * std::round(t / steps.major) - t) < steps.minor * 0.01;
    result.push_back({x, t, major});
    if (t + steps.minor == t) break;  // a step too small to advance at this time
  }
  return result;
}

std::vector<Flag> flags(const std::vector<Marker>& markers, double scrollFrame, double framesPerPoint, double width,
                        const QFont& font) {
  std::vector<Flag> result;
  for (const Marker& marker : markers) {
    const double x = std::round((static_cast<double>(marker.frame) - scrollFrame) / framesPerPoint);
    if (!(-120 < x && x < width + 1)) continue;
    const double flagWidth = std::min(TextDrawing::size(font, marker.name).width() + 8, maxFlagWidth);
    result.push_back({QRectF(x, 2, flagWidth, 14), QRectF(x, 2, 1.5, height - 2), marker.name});
  }
  // Of flags at the same point, the later marker's shows.
  std::stable_sort(result.begin(), result.end(),
                   [](const Flag& a, const Flag& b) { return a.body.left() < b.body.left(); });
  // A flag ends a point before the next one begins, so that each name stays readable.
  for (size_t i = 0; i + 1 < result.size(); ++i) {
    QRectF& body = result[i].body;
    body.setWidth(std::clamp(result[i + 1].body.left() - 1 - body.left(), 0.0, body.width()));
  }
  for (Flag& flag : result) {
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, flag.name);
    const qsizetype first = std::max<qsizetype>(graphemes.toNextBoundary(), 0);
    if (flag.body.width() - 8 < TextDrawing::size(font, flag.name.left(first)).width()) flag.name.clear();
  }
  return result;
}

QString label(double seconds, double majorStep, TimeFormat format, double sampleRate) {
  const int d = decimals(majorStep);
  switch (format) {
  case TimeFormat::hms:
    // The formatter cuts the fraction; the nudge keeps 0.29999999999999993 from reading 0:00.2.
    return hmsString(seconds + 1e-9, d);
  case TimeFormat::seconds: return QString::asprintf("%.*f", d, seconds);
  case TimeFormat::samples: {
    const double frame = std::round(seconds * sampleRate);
    if (!std::isfinite(frame) || std::abs(frame) >= 9.2e18) return {};
    return QLocale().toString(static_cast<qlonglong>(frame));
  }
  }
  return {};
}

void draw(TimelineCanvas& canvas) {
  const TimelineGeometry& g = canvas.geometry;
  canvas.painter.fillRect(g.ruler(), canvas.color(Theme::rulerBackground));
  canvas.painter.fillRect(QRectF(0, height - 1, g.width, 1), canvas.color(Theme::laneBorder));
  const std::vector<Flag> markerFlags = flags(canvas.model.markers(), g.scrollFrame, g.framesPerPoint, g.width, flagFont());
  drawTicks(canvas, markerFlags);
  drawSelectionBar(canvas);
  drawMarkerFlags(canvas, markerFlags);
}

} // namespace TimelineRuler
