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
#include <vector>

#include "base/Enums.h"
#include "widgets/Binding.h"
#include "widgets/ParamSlider.h"
#include "widgets/SegmentedControl.h"

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
  for (const E value : quar::allCases<E>()) titles << QUtf8StringView(displayName(value)).toString();
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

  // A picker of the cases of E, titled by their display names, that writes the choice through
  // `value`. setSelectedIndex(caseIndex(…)) shows a case without writing it.
  template <typename E>
  SegmentedControl* makePicker(const QString& name, Binding<E> value) {
    auto* picker = new SegmentedControl(name, caseTitles<E>(), this);
    connect(picker, &SegmentedControl::picked, this,
            [value = std::move(value)](int index) { value.set(quar::allCases<E>()[static_cast<size_t>(index)]); });
    return picker;
  }

  // Adds one slider per SliderRow<S> of `rows` to `column`, in order.
  template <typename S, typename Rows>
  void addSliders(QVBoxLayout* column, const Binding<S>& settings, const Rows& rows) {
    for (const SliderRow<S>& row : rows) addSlider(column, makeSlider(settings, row));
  }
  // The sliders of addSliders, in the order they were added.
  const std::vector<ParamSlider*>& sliders() const { return sliders_; }
  // Shows the bound values in every slider of addSliders.
  void refreshSliders();

  // Shows a state in a check box without reporting it.
  static void showChecked(QCheckBox* toggle, bool on);

private:
  template <typename S>
  ParamSlider* makeSlider(const Binding<S>& settings, const SliderRow<S>& row) {
    Binding<double> value = settings.field(row.field);
    auto* slider = new ParamSlider(QString::fromUtf8(row.label), row.isPercent ? percent(value) : value, row.range,
                                   QString::fromUtf8(row.unit), QString::fromUtf8(row.format), row.scale,
                                   row.defaultValue, this);
    slider->setObjectName(QString::fromUtf8(row.name));
    return slider;
  }
  void addSlider(QVBoxLayout* column, ParamSlider* slider);

  std::vector<ParamSlider*> sliders_;
};
