#include "effects/DistortionEditor.h"

#include <QVBoxLayout>


using quar::DistortionSettings;
using quar::SaturationMode;
using Scale = ParamSlider::Scale;

namespace {

// The bit crusher's two rows, then Drive, then the rows every mode shows.
const SliderRow<DistortionSettings> rows[] = {
    {"bits", "Bit depth", &DistortionSettings::bits, {2, 16}, "bit", "%.0f", Scale::linear, 8},
    {"downsample", "Downsample", &DistortionSettings::downsample, {1, 32}, "\u00D7", "%.0f", Scale::log, 1},
    {"driveDB", "Drive", &DistortionSettings::driveDB, {0, 48}, "dB", "%.1f", Scale::linear, 12},
    {"toneHz", "Tone", &DistortionSettings::toneHz, {1000, 20000}, "Hz", "%.0f", Scale::log, 12000},
    {"outputDB", "Output", &DistortionSettings::outputDB, {-24, 12}, "dB", "%.1f", Scale::linear, -6},
    {"mix", "Mix", &DistortionSettings::mix, {0, 100}, "%", "%.0f", Scale::linear, 100, true},
};

} // namespace

DistortionEditor::DistortionEditor(Binding<DistortionSettings> settings, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)),
      mode_(makePicker(QStringLiteral("Mode"), settings_.field(&DistortionSettings::mode))) {
  setObjectName(QStringLiteral("distortionEditor"));
  mode_->setObjectName(QStringLiteral("mode"));
  QVBoxLayout* column = makeColumn();
  column->addWidget(mode_, 0, Qt::AlignLeft);
  addSliders(column, settings_, rows);
  bits_ = sliders()[0];
  downsample_ = sliders()[1];
  drive_ = sliders()[2];
  refresh();
}

void DistortionEditor::refresh() {
  const DistortionSettings settings = settings_.get();
  mode_->setSelectedIndex(caseIndex(settings.mode));
  const bool crushing = settings.mode == SaturationMode::bitcrush;
  bits_->setVisible(crushing);
  downsample_->setVisible(crushing);
  drive_->setVisible(!crushing);
  refreshSliders();
}
