// The equaliser's response graph: its axes, where nodes sit, and dragging them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

#include "EditorTestSupport.h"
#include "effects/EQEditor.h"
#include "effects/EQGraph.h"

using namespace EditorTestSupport;
using quar::EQBand;
using quar::EQBandType;
using quar::EQSettings;

namespace {

constexpr double w = 600;
constexpr double h = 170;

EQSettings withBands(std::vector<EQBand> bands, double outputGainDB = 0) { return EQSettings(bands, outputGainDB); }

EQBand band(EQBandType type, double hz, double db = 0, bool enabled = true) {
  return EQBand(type, hz, db, 1.0, 24, enabled);
}

} // namespace

TEST(EQGraph, LogFrequencyAxisAndLinearGainAxis) {
  const auto& grid = EQGraph::frequencies();
  ASSERT_EQ(grid.size(), 240u);
  EXPECT_DOUBLE_EQ(grid.front(), 20);
  EXPECT_NEAR(grid.back(), 20000, 1e-9);
  EXPECT_NEAR(grid[120], 20 * std::pow(1000.0, 120.0 / 239), 1e-9);

  struct X {
    double hz, x;
  };
  for (const X& c : {X{20, 0}, X{200, w / 3}, X{2000, 2 * w / 3}, X{20000, w}})
    EXPECT_NEAR(EQGraph::xOf(c.hz, w), c.x, 1e-9) << c.hz;
  struct Y {
    double db, y;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Y& c : {Y{0, h / 2}, Y{24, 0}, Y{40, 0}, Y{-24, h}, Y{-40, h}, Y{nan, h}, Y{12, h / 4}, Y{-6, h * 5 / 8}})
    EXPECT_NEAR(EQGraph::yOf(c.db, h), c.y, 1e-9) << c.db;
  EXPECT_NEAR(EQGraph::frequencyAt(w / 3, w), 200, 1e-9);
  EXPECT_NEAR(EQGraph::gainAt(h / 4, h), 12, 1e-9);
}

// Only zero-gain bells and shelves, or only disabled bands: the curve lies on the 0 dB line, so
// nothing is shaded. The output gain raises the curve and no node.
TEST(EQGraph, FlatSettingsLieOnTheZeroLineAndTheOutputGainMovesOnlyTheCurve) {
  const std::vector<EQBand> bands{band(EQBandType::peak, 1000), band(EQBandType::lowShelf, 100),
                                  band(EQBandType::lowCut, 200, 0, false), band(EQBandType::peak, 5000, 9, false)};
  const EQGraph::Plot flat = EQGraph::plot(withBands(bands), 48000, {w, h});
  for (const QPointF& point : flat.curve) ASSERT_NEAR(point.y(), h / 2, 1e-6);

  std::vector<EQBand> shaped = bands;
  shaped[2].isEnabled = true;  // a low cut at 200 Hz
  shaped[3].isEnabled = true;  // a bell of +9 dB at 5 kHz
  const EQGraph::Plot plain = EQGraph::plot(withBands(shaped), 48000, {w, h});
  const EQGraph::Plot raised = EQGraph::plot(withBands(shaped, 6), 48000, {w, h});
  int inside = 0;  // points drawn within the graph, not on an edge
  for (size_t i = 0; i < plain.curve.size(); ++i) {
    if (plain.curve[i].y() >= h || raised.curve[i].y() <= 0) continue;
    ++inside;
    ASSERT_NEAR(EQGraph::gainAt(raised.curve[i].y(), h) - EQGraph::gainAt(plain.curve[i].y(), h), 6, 1e-6) << i;
  }
  EXPECT_GT(inside, 150);
  EXPECT_EQ(raised.nodes, plain.nodes);
  EXPECT_NEAR(plain.nodes[3].y(), EQGraph::yOf(9, h), 1e-9);       // a bell at its gain
  // The cut sits on the curve at the first grid point from 200 Hz on.
  const auto& grid = EQGraph::frequencies();
  const auto corner = static_cast<size_t>(std::ranges::find_if(grid, [](double hz) { return hz >= 200; }) - grid.begin());
  EXPECT_NEAR(plain.nodes[2].x(), w / 3, 1e-9);
  EXPECT_EQ(plain.nodes[2].y(), plain.curve[corner].y());
}

// A cut or notch takes its height from the first grid point at or above its frequency (the last
// point above 20 kHz), less the output gain.
TEST(EQGraph, CutNodesReadTheResponseAtTheNextGridPoint) {
  std::vector<double> response(240);
  for (size_t i = 0; i < response.size(); ++i) response[i] = static_cast<double>(i) / 10;
  EXPECT_EQ(EQGraph::nodeDB(band(EQBandType::highCut, 25000), response, 1), 23.9 - 1);
  EXPECT_EQ(EQGraph::nodeDB(band(EQBandType::notch, 20), response, 0), 0);
  EXPECT_EQ(EQGraph::nodeDB(band(EQBandType::lowCut, EQGraph::frequencies()[100]), response, 0), 10);
  EXPECT_EQ(EQGraph::nodeDB(band(EQBandType::lowCut, EQGraph::frequencies()[100] + 0.001), response, 0), 10.1);
  EXPECT_EQ(EQGraph::nodeDB(band(EQBandType::highShelf, 3000, -4), response, 5), -4);
}

TEST(EQGraph, ADragGrabsTheNearestNodeWithinEighteenPointsFirstOnATie) {
  const std::vector<QPointF> nodes{{100, 50}, {300, 80}, {300, 80}};
  struct Case {
    QPointF start;
    std::optional<size_t> grabbed;
  };
  const Case cases[] = {
      {{100, 50}, 0},  {{110, 60}, 0},          {{117.9, 50}, 0}, {{118, 50}, std::nullopt},
      {{300, 90}, 1},  {{200, 65}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(EQGraph::grabbed(nodes, c.start), c.grabbed) << c.start.x();
  EXPECT_EQ(EQGraph::grabbed({}, {0, 0}), std::nullopt);
}

// The pointer sets the frequency ([20, 20000] Hz) and, for bells and shelves, the gain (±24 dB),
// both rounded to tenths; cuts and notches ignore the vertical.
TEST(EQGraph, DraggingClampsAndRoundsThePointersValues) {
  struct Case {
    EQBandType type;
    QPointF at;
    double hz, db;
  };
  const Case cases[] = {
      {EQBandType::peak, {w / 3, h / 4}, 200, 12},       {EQBandType::peak, {w / 2, -30}, 632.5, 24},
      {EQBandType::peak, {-40, h + 30}, 20, -24},        {EQBandType::highShelf, {w + 50, h / 2}, 20000, 0},
      {EQBandType::lowShelf, {123.4, 77.7}, 82.8, 2.1}, {EQBandType::lowCut, {w / 3, 0}, 200, -5},
      {EQBandType::notch, {2 * w / 3, h}, 2000, -5},     {EQBandType::highCut, {w, h / 4}, 20000, -5},
  };
  for (const Case& c : cases) {
    const EQBand moved = EQGraph::dragged(band(c.type, 1000, -5), c.at, {w, h});
    EXPECT_NEAR(moved.frequency, c.hz, 1e-9) << c.at.x();
    EXPECT_NEAR(moved.gainDB, c.db, 1e-9) << c.at.y();
  }
  EXPECT_EQ(EQGraph::nodeHelp(band(EQBandType::peak, 1000.9)), "Bell \u00B7 1000 Hz");
}

// Pressing on a node selects its band and moves it under the pointer; a press far from every
// node moves nothing and keeps the selection.
TEST(EQGraph, PressingOnANodeSelectsAndMovesItsBand) {
  Stored<EQSettings> stored{withBands({band(EQBandType::peak, 200), band(EQBandType::lowCut, 2000)})};
  EQEditor editor(stored.binding(), 48000);
  editor.resize(600, editor.sizeHint().height());
  editor.show();
  QCoreApplication::processEvents();
  auto* graph = editor.findChild<EQGraph*>();
  ASSERT_EQ(graph->width(), 600);
  EXPECT_EQ(graph->accessibleName(), "EQ frequency response");
  const quar::Uuid first = stored.value.bands[0].id, second = stored.value.bands[1].id;
  EXPECT_EQ(editor.selected(), first);

  // The axes span the plot inside the graph's edges.
  const QRectF area = graph->plotRect();
  EXPECT_EQ(area, QRectF(0, 0, 600, 170).adjusted(8, 8, -8, -8));
  const QPointF cut = EQGraph::plot(stored.value, 48000, area.size()).nodes[1] + area.topLeft();
  QTest::mousePress(graph, Qt::LeftButton, {}, (cut + QPointF(5, 40)).toPoint());
  EXPECT_EQ(stored.writes, 0);  // 40 points below: too far
  EXPECT_EQ(editor.selected(), first);
  QTest::mouseRelease(graph, Qt::LeftButton, {}, (cut + QPointF(5, 40)).toPoint());

  const QPoint near = (cut + QPointF(5, 10)).toPoint();
  QTest::mousePress(graph, Qt::LeftButton, {}, near);
  EXPECT_EQ(editor.selected(), second);
  EXPECT_EQ(stored.writes, 1);
  EXPECT_NEAR(stored.value.bands[1].frequency, EQGraph::frequencyAt(near.x() - area.left(), area.width()), 0.05);
  QTest::mouseMove(graph, QPoint(400, 20));
  EXPECT_NEAR(stored.value.bands[1].frequency, EQGraph::frequencyAt(400 - area.left(), area.width()), 0.05);
  EXPECT_EQ(stored.value.bands[1].gainDB, 0);
  QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(400, 20));
  const int writes = stored.writes;
  QTest::mouseMove(graph, QPoint(100, 20));  // after the release: no drag
  EXPECT_EQ(stored.writes, writes);
}

// A node at 20 Hz or 20 kHz, or at ±24 dB, is drawn whole: it covers as many pixels as one in
// the middle of the graph, at the graph's width in the inspector with and without a scroll bar.
TEST(EQGraph, NodesAtTheEdgesAreDrawnWhole) {
  const auto redPixels = [](double hz, double db, int width) {
    Stored<EQSettings> stored{withBands({band(EQBandType::peak, hz, db)})};
    Stored<std::optional<quar::Uuid>> selected{std::nullopt};
    EQGraph graph(stored.binding(), selected.binding());
    graph.resize(width, 170);
    const QImage image = graph.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        count += pixel.red() > 200 && pixel.green() < 130 && pixel.blue() < 130;
      }
    return count;
  };
  struct Case {
    double hz, db;
  };
  for (const int width : {332, 317}) {
    const int whole = redPixels(1000, 0, width);
    ASSERT_GT(whole, 100);
    for (const Case& c : {Case{20, 0}, Case{20000, 0}, Case{1000, 24}, Case{1000, -24}, Case{20, 24}, Case{20000, -24}})
      EXPECT_GE(redPixels(c.hz, c.db, width), whole * 0.95) << c.hz << " Hz, " << c.db << " dB at " << width;
  }

  Stored<EQSettings> edges{withBands({band(EQBandType::peak, 20, 24), band(EQBandType::lowCut, 20),
                                      band(EQBandType::peak, 20000, -24), band(EQBandType::highCut, 20000)})};
  Stored<std::optional<quar::Uuid>> selected{edges.value.bands[0].id};
  for (const bool dark : {false, true}) {
    EQGraph graph(edges.binding(), selected.binding());
    graph.setPalette(palette(dark));
    graph.setAutoFillBackground(true);
    graph.resize(332, 170);
    savePicture(graph, dark ? QStringLiteral("eq-graph-edges-dark") : QStringLiteral("eq-graph-edges-light"));
  }
}
