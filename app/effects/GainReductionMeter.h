// GainReductionMeter: the live gain-reduction row of the compressor and gate editors, laid out
// on the ParamSlider column grid: "Reduction", a bar that fills from its right end (24 dB is
// full scale) and the reduction as "%.1f dB". While the document plays it polls the rack for
// the slot's reduction at most 30 times a second (0.0 dB while the slot does not process);
// while stopped it does nothing and shows 0.0 dB. GUI thread.
#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

#include "base/Uuid.h"

class EffectsRack;
class QLabel;
class QTimer;

class GainReductionMeter final : public QWidget {
  Q_OBJECT
public:
  // The reduction (dB) that fills the bar.
  static constexpr double fullScaleDB = 24;

  GainReductionMeter(EffectsRack* rack, quar::Uuid slotID, bool isPlaying, QWidget* parent = nullptr);

  // Starts or stops polling; stopping shows no reduction.
  void setPlaying(bool playing);
  bool isPlaying() const { return playing_; }
  // The reduction (dB) shown now.
  double reduction() const { return reduction_; }

  // The filled part of the bar ([0, 1]) for a reduction in dB; none, negative and not-a-number
  // fill nothing.
  static double fillFraction(std::optional<double> reductionDB);
  // "12.0 dB".
  static QString text(double reductionDB);

private:
  class Bar;

  void poll();
  void display(double reductionDB);

  QPointer<EffectsRack> rack_;
  quar::Uuid slotID_;
  bool playing_ = false;
  double reduction_ = 0;
  Bar* bar_;
  QLabel* value_;
  QTimer* timer_;
};
