// EffectEditor: the base of the built-in effects' editor panels. A panel is built once around a
// binding to its slot's settings and writes every user edit through it, one write per edit;
// refresh() shows the bound settings again after any change, with the controls' signals
// blocked. SliderRow: one row of a panel's slider table; caseTitles: the titles of an
// enumeration's picker (quar::caseIndex gives a case's position). GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

#include "base/Enums.h"
#include "effects/Binding.h"
#include "effects/ParamSlider.h"

class QCheckBox;
class QVBoxLayout;

// A ParamSlider over one Double field of the settings record S. `name` (the field's name) becomes
// the slider's object name; a fraction field is shown and entered in per cent.
template <typename S>
struct SliderRow {
  const char* name;
  const char* label;
  double S::*field;
  ParamSlider::Range range;
  const char* unit;
  const char* format;
  ParamSlider::Scale scale;
  std::optional<double> defaultValue;
  bool isPercent = false;
};

// The display names of an enumeration's cases in allCases order: the titles of its picker.
template <typename E>
QStringList caseTitles() {
  QStringList titles;
  for (const E value : quar::allCases<E>()) {
    const auto name = displayName(value);
    titles << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  }
  return titles;
}

class EffectEditor : public QWidget {
  Q_OBJECT
public:
  using QWidget::QWidget;

  // Brings every control in line with the bound settings without writing anything.
  virtual void refresh() = 0;

protected:
  // The panel's column: leading-aligned rows 8 points apart, no margins.
  QVBoxLayout* makeColumn();
  // A check box in the callout font that writes its state through `value`.
  QCheckBox* makeToggle(const QString& title, Binding<bool> value);

  template <typename S>
  ParamSlider* makeSlider(const Binding<S>& settings, const SliderRow<S>& row) {
    Binding<double> value = settings.field(row.field);
    auto* slider = new ParamSlider(QString::fromUtf8(row.label), row.isPercent ? percent(value) : value, row.range,
                                   QString::fromUtf8(row.unit), QString::fromUtf8(row.format), row.scale,
                                   row.defaultValue, this);
    slider->setObjectName(QString::fromUtf8(row.name));
    return slider;
  }

  // Shows a state in a check box without reporting it.
  static void showChecked(QCheckBox* toggle, bool on);
};
