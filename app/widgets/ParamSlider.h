// ParamSlider: the one numeric parameter row of the effect editors, the plug-in parameter rows
// and the sheets: a label column 84 points wide (a double-click resets the value to the default,
// when there is one), a slider with linear or logarithmic travel, a value field 52 points wide
// (typed text is committed with Return and clamped into the range; leaving the field discards
// it) and a unit column 30 points wide, 8 points apart. It writes the bound value only on
// slider travel, a reset and a committed entry, and shows the value through a printf-style
// format (always with a decimal point). The arrow keys on the slider, and Up and Down in the
// field, step the value by keyStep()'s small step; Page Up and Page Down by its large one.
// refresh() brings it in line with the bound value after an outside change; text typed into the
// field survives that while the field has focus. GUI thread.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "widgets/Binding.h"

class QKeyEvent;
class QLineEdit;
class QSlider;
class ToneLabel;

class ParamSlider final : public QWidget {
  Q_OBJECT
public:
  enum class Scale { linear, log };
  // The values the slider spans and typed values are clamped to; lower < upper, and lower > 0
  // with the log scale.
  struct Range {
    double lower;
    double upper;
    bool operator==(const Range&) const = default;
  };

  static constexpr int labelWidth = 84;
  static constexpr int valueWidth = 52;
  static constexpr int unitWidth = 30;
  static constexpr int columnSpacing = 8;
  // Steps of the slider's travel.
  static constexpr int sliderSteps = 10000;

  ParamSlider(const QString& label, Binding<double> value, Range range, const QString& unit, const QString& format,
              Scale scale, std::optional<double> defaultValue, QWidget* parent = nullptr);

  // Shows the bound value: slider and, unless text is being typed into the field, its text.
  void refresh();
  // Shows the bound value, dropping any text being typed (a preset replaced the value).
  void dropTyping();
  void setLabel(const QString& label);
  void setDefaultValue(std::optional<double> value);

  QString label() const;
  Range range() const { return range_; }
  QString unit() const;
  QString format() const { return format_; }
  Scale scale() const { return scale_; }
  std::optional<double> defaultValue() const { return defaultValue_; }

  // The slider position ([0, 1]) of a value, clamped into the range first; not-a-number, and a
  // range without finite ends, sit at the lower end.
  static double position(double value, Range range, Scale scale);
  // The value at a slider position: lower + p (upper - lower), or lower (upper / lower)^p.
  static double valueAt(double position, Range range, Scale scale);
  // `format` applied to the value, with a decimal point whatever the locale.
  static QString formatted(const QString& format, double value);
  // The value as the field shows it: `format` applied, then read back (the value itself when
  // the text is not a number), never a negative zero.
  static double shownValue(const QString& format, double value);
  // The number a typed text stands for: every "," read as ".", and the whole text one decimal
  // number (a sign, digits, a point, an exponent, or "inf"); a space, a unit or anything else,
  // and not-a-number, give none.
  static std::optional<double> parse(const QString& text);
  // The value one key press moves to, `direction` +1 up or −1 down, held to the range. A small
  // step is 1 % of the travel, or the unit's own: 0.1 dB, 1 ms (on a log scale at most 1 % of the
  // travel), and 1 Hz or, on a log scale, 1/100 octave; a large step is 10 % of the travel. Either
  // moves the value by at least the last digit that `format` ("%.Nf") shows.
  static double keyStep(double value, Range range, Scale scale, const QString& unit, const QString& format,
                        int direction, bool large);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void write(double value);
  void commit();
  // Handles a stepping key pressed on the slider or in the field; false for any other key.
  bool step(const QKeyEvent& key, bool inField);
  void showText();

  Binding<double> value_;
  Range range_;
  QString format_;
  Scale scale_;
  std::optional<double> defaultValue_;
  ToneLabel* label_;
  QSlider* slider_;
  QLineEdit* field_;
  ToneLabel* unit_;
};
