#include "effects/ReverbEditor.h"

#include <QVBoxLayout>

using quar::ReverbSettings;
using Scale = ParamSlider::Scale;

namespace {

const SliderRow<ReverbSettings> rows[] = {
    {"decaySeconds", "Decay", &ReverbSettings::decaySeconds, {0.2, 20}, "s", "%.2f", Scale::log, 1.8},
    {"size", "Size", &ReverbSettings::size, {0, 100}, "%", "%.0f", Scale::linear, 60, true},
    {"preDelayMs", "Pre-delay", &ReverbSettings::preDelayMs, {0, 250}, "ms", "%.0f", Scale::linear, 20},
    {"damping", "Damping", &ReverbSettings::damping, {0, 100}, "%", "%.0f", Scale::linear, 50, true},
    {"diffusion", "Diffusion", &ReverbSettings::diffusion, {0, 100}, "%", "%.0f", Scale::linear, 80, true},
    {"width", "Width", &ReverbSettings::width, {0, 100}, "%", "%.0f", Scale::linear, 100, true},
    {"lowCutHz", "Low cut", &ReverbSettings::lowCutHz, {20, 1000}, "Hz", "%.0f", Scale::log, 100},
    {"mix", "Mix", &ReverbSettings::mix, {0, 100}, "%", "%.0f", Scale::linear, 25, true},
};

} // namespace

ReverbEditor::ReverbEditor(Binding<ReverbSettings> settings, QWidget* parent) : EffectEditor(parent) {
  setObjectName(QStringLiteral("reverbEditor"));
  QVBoxLayout* column = makeColumn();
  addSliders(column, settings, rows);
}

void ReverbEditor::refresh() {
  refreshSliders();
}
