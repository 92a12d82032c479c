#include "effects/GateEditor.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "effects/GainReductionMeter.h"

using quar::GateSettings;
using Scale = ParamSlider::Scale;

namespace {

const SliderRow<GateSettings> rows[] = {
    {"thresholdDB", "Threshold", &GateSettings::thresholdDB, {-90, 0}, "dB", "%.1f", Scale::linear, -45},
    {"rangeDB", "Range", &GateSettings::rangeDB, {-90, 0}, "dB", "%.1f", Scale::linear, -60},
    {"attackMs", "Attack", &GateSettings::attackMs, {0.05, 100}, "ms", "%.2f", Scale::log, 1},
    {"holdMs", "Hold", &GateSettings::holdMs, {0, 1000}, "ms", "%.0f", Scale::linear, 50},
    {"releaseMs", "Release", &GateSettings::releaseMs, {5, 3000}, "ms", "%.0f", Scale::log, 150},
    {"hysteresisDB", "Hysteresis", &GateSettings::hysteresisDB, {0, 12}, "dB", "%.1f", Scale::linear, 3},
};

} // namespace

GateEditor::GateEditor(Binding<GateSettings> settings, GainReductionMeter* meter, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)),
      stereoLink_(makeToggle(QStringLiteral("Stereo link"), settings_.field(&GateSettings::stereoLink))) {
  setObjectName(QStringLiteral("gateEditor"));
  stereoLink_->setObjectName(QStringLiteral("stereoLink"));
  QVBoxLayout* column = makeColumn();
  column->addWidget(meter);
  addSliders(column, settings_, rows);
  column->addWidget(stereoLink_);
  refresh();
}

void GateEditor::refresh() {
  showChecked(stereoLink_, settings_.get().stereoLink);
  refreshSliders();
}
