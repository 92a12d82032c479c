// EQGraph: the equaliser's response over a logarithmic frequency axis from 20 Hz (left) to
// 20 kHz (right) and a gain axis from +24 dB (top) to -24 dB (bottom), with one coloured node
// per band. Dragging a node (grabbed within 18 points of its centre) selects its band and sets
// its frequency and, for bells and shelves, its gain, one settings write per pointer event. The
// axes span the plot, the widget inset on every side so that a node at an edge is drawn whole;
// the geometry is in the static functions (points, origin at the plot's top left). GUI thread.
#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "dsp/effects/EQSettings.h"
#include "widgets/Binding.h"

class EQGraph final : public QWidget {
  Q_OBJECT
public:
  static constexpr size_t pointCount = 240;
  static constexpr double lowestHz = 20;
  static constexpr double highestHz = 20000;
  // The gain at the top edge; its negative is at the bottom edge (dB).
  static constexpr double edgeDB = 24;
  static constexpr double nodeDiameter = 13;
  // A drag grabs the nearest node closer than this (points).
  static constexpr double grabDistance = 18;
  // Between the widget's edges and the plot: a node's radius, its outline and its shadow.
  static constexpr double plotInset = 8;

  // The node positions and the response curve of a graph of some size.
  struct Plot {
    std::vector<QPointF> curve;  // one point per entry of frequencies()
    std::vector<QPointF> nodes;  // one centre per band, in band order
  };

  // `selected` is the editor's band selection; grabbing a node writes it.
  EQGraph(Binding<quar::EQSettings> settings, Binding<std::optional<quar::Uuid>> selected, QWidget* parent = nullptr);

  // The rate (Hz) the response is evaluated at; 0 or less counts as 48000.
  void setSampleRate(double sampleRate);
  double sampleRate() const { return sampleRate_; }
  // Where the axes are drawn, in the widget's coordinates.
  QRectF plotRect() const;

  // 240 frequencies from 20 Hz to 20 kHz evenly spaced on a log scale: 20 × 1000^(i / 239).
  static const std::array<double, pointCount>& frequencies();
  // x of a frequency: w ln(f / 20) / ln 1000.
  static double xOf(double hz, double width);
  // y of a gain: 0 at +24 dB and above, h/2 at 0 dB, h at -24 dB and below (and for not-a-number).
  static double yOf(double db, double height);
  // The frequency and gain under a point.
  static double frequencyAt(double x, double width);
  static double gainAt(double y, double height);
  // The height (dB) of a band's node: its gain for bells and shelves; for cuts and notches the
  // response at the first grid frequency at or above the band's (the last above 20 kHz) less
  // the output gain, so that the node sits on the curve of the bands alone.
  static double nodeDB(const quar::EQBand& band, std::span<const double> response, double outputGainDB);
  static Plot plot(const quar::EQSettings& settings, double sampleRate, QSizeF size);
  // The band whose node is nearest to `start`, when nearer than grabDistance; of equally near
  // nodes the first.
  static std::optional<size_t> grabbed(const std::vector<QPointF>& nodes, QPointF start);
  // The band moved to a pointer location: frequency held within [20, 20000] Hz and rounded to
  // 0.1 Hz; for bells and shelves the gain held within ±24 dB and rounded to 0.1 dB.
  static quar::EQBand dragged(quar::EQBand band, QPointF location, QSizeF size);
  // "Bell · 1000 Hz".
  static QString nodeHelp(const quar::EQBand& band);

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  void drawGrid(QPainter& painter, QSizeF size) const;
  // A widget position in the plot's coordinates.
  QPointF inPlot(QPointF position) const;
  void moveDraggedBand(QPointF location);

  Binding<quar::EQSettings> settings_;
  Binding<std::optional<quar::Uuid>> selected_;
  double sampleRate_ = 48000;
  std::optional<quar::Uuid> dragging_;
};
