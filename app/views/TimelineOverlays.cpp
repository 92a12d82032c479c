#include "views/TimelineOverlays.h"

#include <QPainter>

#include <cmath>

#include "editor/EditorModel.h"
#include "widgets/TextDrawing.h"
#include "views/TimelineCanvas.h"

namespace TimelineOverlays {

namespace {

constexpr double ruler = TimelineGeometry::rulerHeight;

// Bar lines are never closer than this, and bars are numbered only this far apart.
constexpr double minBarSpacing = 14;
constexpr double minNumberedSpacing = 22;
constexpr double minBeatSpacing = 10;
constexpr double offViewMargin = 100;

} // namespace

GridLines gridLines(const quar::TempoGrid& grid, double sampleRate, double scrollFrame, double framesPerPoint,
                    double viewWidth) {
  GridLines lines;
  const double beat = sampleRate * (60 / grid.bpm);  // frames per beat
  const auto beatsPerBar = static_cast<double>(grid.beatsPerBar);
  const double barWidth = beat * beatsPerBar / framesPerPoint;
  if (!(barWidth > 0.5) || !std::isfinite(barWidth) || !std::isfinite(scrollFrame) || !std::isfinite(viewWidth))
    return lines;
  int64_t k = 1;
  while (barWidth * static_cast<double>(k) < minBarSpacing) k *= 2;
  lines.stride = k;
  const int64_t a = grid.barIndex(scrollFrame, sampleRate);
  const int64_t z = grid.barIndex(scrollFrame + viewWidth * framesPerPoint, sampleRate) + 1;
  const auto downbeat = static_cast<double>(grid.downbeatFrame);
  const auto lineAt = [&](double frame) { return TimelineGeometry::lineX((frame - scrollFrame) / framesPerPoint); };
  // Lines far outside the view (deep zoom makes bars millions of points wide) are left out;
  // the margin keeps the number of a bar starting just left of the view.
  const auto visible = [&](double x) { return -offViewMargin <= x && x <= viewWidth + offViewMargin; };

  if (beat / framesPerPoint >= minBeatSpacing)
    for (int64_t b = a; b <= z; ++b)
      for (int64_t j = 1; j < grid.beatsPerBar; ++j)
        if (const double x = lineAt(beat * static_cast<double>(b * grid.beatsPerBar + j) + downbeat); visible(x))
          lines.beats.push_back(x);

  // The drawn bars stay the same multiples of k while scrolling.
  const bool numbered = barWidth * static_cast<double>(k) >= minNumberedSpacing;
  for (int64_t b = a - ((a % k) + k) % k; b <= z; b += k) {
    const double x = lineAt(beat * beatsPerBar * static_cast<double>(b) + downbeat);
    if (!visible(x)) continue;
    GridLines::Bar bar{x, std::nullopt};
    if (b >= 0 && numbered) bar.number = b + 1;
    lines.bars.push_back(bar);
  }
  return lines;
}

namespace {

// Vertical one-point lines from just below the ruler to the bottom of the view.
std::vector<QLineF> verticalLines(const TimelineCanvas& canvas, const std::vector<double>& xs) {
  std::vector<QLineF> lines;
  lines.reserve(xs.size());
  for (const double x : xs) lines.emplace_back(x, ruler, x, canvas.geometry.height);
  return lines;
}

} // namespace

void drawSelection(TimelineCanvas& canvas) {
  const EditorModel& model = canvas.model;
  const std::optional<quar::FrameRange> selection = model.selection();
  if (!selection) return;
  const TimelineGeometry& g = canvas.geometry;
  const double x0 = g.x(static_cast<double>(selection->lowerBound));
  const double x1 = g.x(static_cast<double>(selection->upperBound));
  if (x1 < 0 || x0 > g.width) return;
  const double w = std::max(x1 - x0, 1.0);
  QPainter& painter = canvas.painter;
  const std::set<int>& active = model.activeChannels();
  for (int channel = 0; channel < g.channelCount; ++channel) {
    if (!active.contains(channel)) continue;
    const QRectF lane = g.laneRect(channel);
    painter.fillRect(QRectF(x0, lane.top(), w, lane.height()), canvas.color(Theme::selection));
  }
  const QRectF lanes = g.lanesRect();
  // An empty selection's edges are one line.
  std::vector<QLineF> edges{{TimelineGeometry::lineX(x0), lanes.top(), TimelineGeometry::lineX(x0), lanes.bottom()}};
  if (TimelineGeometry::lineX(x1) != TimelineGeometry::lineX(x0))
    edges.emplace_back(TimelineGeometry::lineX(x1), lanes.top(), TimelineGeometry::lineX(x1), lanes.bottom());
  canvas.fillLines(edges, canvas.color(Theme::selectionEdge));
  if (model.viewSettings().showLoudnessLane()) {
    const QRectF loudness = g.loudnessRect();
    painter.fillRect(QRectF(x0, loudness.top(), w, loudness.height()), canvas.color(Theme::selection, 0.12));
  }
}

void drawMarkerLines(TimelineCanvas& canvas) {
  const TimelineGeometry& g = canvas.geometry;
  std::vector<double> xs;
  for (const Marker& marker : canvas.model.markers()) {
    const double x = TimelineGeometry::lineX(g.x(static_cast<double>(marker.frame)));
    if (-1 <= x && x <= g.width + 1) xs.push_back(x);
  }
  QPen pen = TimelineCanvas::linePen(canvas.color(Theme::marker, 0.8));
  pen.setDashPattern({4, 3});
  canvas.painter.setPen(pen);
  const std::vector<QLineF> lines = verticalLines(canvas, xs);
  canvas.painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

void drawCursor(TimelineCanvas& canvas) {
  if (canvas.model.selection()) return;
  const double x = TimelineGeometry::lineX(canvas.geometry.x(static_cast<double>(canvas.model.cursor())));
  if (0 <= x && x <= canvas.geometry.width) canvas.fillLines(verticalLines(canvas, {x}), canvas.color(Theme::cursor, 0.85));
}

void drawGrid(TimelineCanvas& canvas) {
  const EditorModel& model = canvas.model;
  const TimelineGeometry& g = canvas.geometry;
  const GridLines lines = gridLines(model.tempo().grid(), model.content().sampleRate(), g.scrollFrame, g.framesPerPoint,
                                    model.viewport().viewWidth());
  canvas.fillLines(verticalLines(canvas, lines.beats), canvas.color(Theme::gridBar, 0.12));
  std::vector<double> xs;
  for (const GridLines::Bar& bar : lines.bars) xs.push_back(bar.x);
  canvas.fillLines(verticalLines(canvas, xs), canvas.color(Theme::gridBar, 0.35));
  QPainter& painter = canvas.painter;
  painter.setFont(TextDrawing::font(9, QFont::DemiBold));
  painter.setPen(canvas.color(Theme::gridBar, 0.9));
  for (const GridLines::Bar& bar : lines.bars)
    if (bar.number) TextDrawing::draw(painter, {bar.x + 3, ruler + 1}, QString::number(*bar.number));
}

} // namespace TimelineOverlays
