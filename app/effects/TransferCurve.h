// TransferCurve: the compressor's static curve, output level over input level, both from -60 dB
// (left, bottom) to 0 dB (right, top), with the make-up gain in effect, a dashed unity line and
// an orange marker at the threshold. The geometry is in the static functions (points, origin
// at the top left). GUI thread.
#pragma once

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <vector>

#include "dsp/effects/CompressorSettings.h"

class TransferCurve final : public QWidget {
  Q_OBJECT
public:
  // The lowest level on either axis (dB).
  static constexpr double floorDB = -60;

  explicit TransferCurve(QWidget* parent = nullptr);

  void setSettings(const quar::CompressorSettings& settings);
  const quar::CompressorSettings& settings() const { return settings_; }

  // x of an input level: w (level + 60) / 60.
  static double xOf(double inputDB, double width);
  // y of an output level, held within the canvas: h - h clamp((level + 60) / 60, 0, 1);
  // not-a-number at the bottom.
  static double yOf(double outputDB, double height);
  // The curve's 121 points: inputs -60, -59.5, ... 0 dB, each at its static output plus the
  // effective make-up gain.
  static std::vector<QPointF> curve(const quar::CompressorSettings& settings, QSizeF size);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  quar::CompressorSettings settings_;
};
