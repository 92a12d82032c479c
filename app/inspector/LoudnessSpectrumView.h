// LoudnessSpectrumView: how the short-term loudness of a measurement is spread over −54…0 LUFS:
// a histogram in 1 LU bins, the loudness range shaded between the 10th and 95th percentiles of
// the gated short-term values (labelled with the result's own range), and lines for the target,
// the loudness predicted after the planned adjustment and the integrated loudness, under a
// small legend. 118 points high. The distribution and the scale are the pure functions below;
// the view draws its inputs and keeps no other state. GUI thread only.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "dsp/Loudness.h"

class LoudnessSpectrumView final : public QWidget {
  Q_OBJECT
public:
  static constexpr int viewHeight = 118;
  static constexpr int binCount = 54;

  struct Distribution {
    std::vector<double> bins;   // binCount fractions of the fullest bin
    std::optional<double> low;  // LUFS; both present or both absent
    std::optional<double> high;
  };

  explicit LoudnessSpectrumView(QWidget* parent = nullptr);

  // The histogram of the values above −70 LUFS (bin i: −54 + i ≤ v < −53 + i, values outside
  // or not finite left out), and the 10th and 95th percentiles of those above the relative
  // gate 20 LU below their mean energy.
  static Distribution distribution(const std::vector<float>& shortTerm);
  // The plot rectangle of a canvas (the view below its 14-point top margin).
  static QRectF plotRect(QSizeF canvas);
  // Where a loudness lies across the plot: −54 (and anything lower or not a number) at the left
  // edge, 0 and above at the right.
  static double x(double lufs, const QRectF& plot);
  // "Loudness distribution. Integrated -16.2 LUFS, target -23 LUFS".
  static QString accessibilityText(double integratedLUFS, double target);

  void setMeasurement(const quar::LoudnessResult& result, double target, std::optional<double> predicted);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void drawLegend(QPainter& painter);

  quar::LoudnessResult result_;
  Distribution distribution_;
  double target_ = 0;
  std::optional<double> predicted_;
};
