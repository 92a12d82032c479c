#include "effects/EffectEditor.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "widgets/ViewStyle.h"
#include "widgets/TextDrawing.h"

QVBoxLayout* EffectEditor::makeColumn() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(ViewStyle::rowSpacing);
  column->setAlignment(Qt::AlignTop);
  return column;
}

QCheckBox* EffectEditor::makeToggle(const QString& title, Binding<bool> value) {
  auto* toggle = new QCheckBox(title, this);
  toggle->setFont(TextDrawing::font(ViewStyle::calloutSize));
  connect(toggle, &QCheckBox::toggled, this, [value = std::move(value)](bool on) { value.set(on); });
  return toggle;
}

void EffectEditor::addSlider(QVBoxLayout* column, ParamSlider* slider) {
  column->addWidget(slider);
  sliders_.push_back(slider);
}

void EffectEditor::refreshSliders() {
  for (ParamSlider* slider : sliders_) slider->refresh();
}

void EffectEditor::showChecked(QCheckBox* toggle, bool on) {
  const QSignalBlocker blocker(toggle);
  toggle->setChecked(on);
}
