// SpectrumPlot: the spectrum tab's canvas (220 points high): background, frequency and level
// grids with labels, the spectrum's gradient fill and curve, the peak-hold trace, and while the
// pointer is over the plot a line and a "1.00 kHz  -12.3 dB" read-out. It draws its panel's
// SpectrumState at the model's sample rate and redraws when what it drew changes. The
// background and grids are kept in an image, drawn again only when the size, device-pixel
// ratio, sample rate, scales or palette change, so that a live update redraws only the
// spectrum. GUI thread only.
#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>
#include <tuple>

class EditorModel;
class ObservationTracker;
class QPainter;
class SpectrumGeometry;
class SpectrumState;

class SpectrumPlot final : public QWidget {
  Q_OBJECT
public:
  static constexpr int plotHeight = 220;

  SpectrumPlot(EditorModel* model, SpectrumState* state, QWidget* parent = nullptr);

  const std::optional<QPointF>& hover() const { return hover_; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  // The background with the grids and their labels.
  const QImage& backdrop(const SpectrumGeometry& geometry, double ratio);
  void drawSpectrum(QPainter& painter, const SpectrumGeometry& geometry);
  void drawReadout(QPainter& painter, const SpectrumGeometry& geometry);

  EditorModel* model_;
  SpectrumState* state_;
  std::optional<QPointF> hover_;
  QImage backdrop_;
  // What the backdrop was drawn for: size, ratio, sample rate, scales, window and text colours.
  std::tuple<QSize, double, double, int, int, QRgb, QRgb> backdropKey_;
  ObservationTracker* tracker_;
};
