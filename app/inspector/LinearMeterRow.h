// LinearMeterRow: one horizontal meter of the live meters: a label (72 points), a bar 10 points
// high, the value ("%.1f", "–∞" at or below −100) and the unit. The bar shows the level over a
// range with a gradient that turns red at its tip above −1, and optionally a thin inner bar for
// a second level (RMS), a hold mark (red above −1) and a target mark. The bar's geometry and
// colours are the pure functions below. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "widgets/Theme.h"

class ToneLabel;

class LinearMeterRow final : public QWidget {
  Q_OBJECT
public:
  struct Reading {
    double value = -120;
    std::optional<double> marker;     // a reference level (the loudness target)
    std::optional<double> hold;       // a held peak
    std::optional<double> secondary;  // a second level (RMS)
    bool operator==(const Reading&) const = default;
  };

  static constexpr double barHeight = 10;

  // `lo` and `hi` are the levels at the bar's left and right ends.
  LinearMeterRow(const QString& label, double lo, double hi, const QString& unit, const ThemeColor& color,
                 QWidget* parent = nullptr);

  // Where a level lies along the bar, [0, 1]: held within the range, a level that is not a number
  // at the left end.
  static double position(double level, double lo, double hi);
  // Width of a level's bar in a bar `width` points wide.
  static double levelWidth(double level, double lo, double hi, double width);
  // Whether a level shows red (above −1 in the row's unit).
  static bool isHot(double level) { return level > -1.0; }
  // "%.1f" above −100 when finite, else "–∞".
  static QString valueText(double value);

  void setReading(const Reading& reading);
  const Reading& reading() const { return reading_; }
  double lo() const { return lo_; }
  double hi() const { return hi_; }
  // The bar's own widget.
  QWidget* bar() const;

private:
  class Bar;

  double lo_;
  double hi_;
  const ThemeColor& color_;
  Reading reading_;
  Bar* bar_;
  ToneLabel* value_;
};
