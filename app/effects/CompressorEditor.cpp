#include "effects/CompressorEditor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "widgets/ViewStyle.h"
#include "effects/GainReductionMeter.h"
#include "effects/TransferCurve.h"
#include "widgets/ToneLabel.h"

using quar::CompressorSettings;
using Scale = ParamSlider::Scale;

namespace {

const SliderRow<CompressorSettings> rows[] = {
    {"thresholdDB", "Threshold", &CompressorSettings::thresholdDB, {-60, 0}, "dB", "%.1f", Scale::linear, -18},
    {"ratio", "Ratio", &CompressorSettings::ratio, {1, 20}, ": 1", "%.1f", Scale::log, 4},
    {"kneeDB", "Knee", &CompressorSettings::kneeDB, {0, 24}, "dB", "%.1f", Scale::linear, 6},
    {"attackMs", "Attack", &CompressorSettings::attackMs, {0.05, 200}, "ms", "%.2f", Scale::log, 10},
    {"releaseMs", "Release", &CompressorSettings::releaseMs, {5, 2000}, "ms", "%.0f", Scale::log, 120},
    {"makeupGainDB", "Makeup", &CompressorSettings::makeupGainDB, {-12, 24}, "dB", "%.1f", Scale::linear, 0},
    {"mix", "Mix", &CompressorSettings::mix, {0, 100}, "%", "%.0f", Scale::linear, 100, true},
};

} // namespace

CompressorEditor::CompressorEditor(Binding<CompressorSettings> settings, GainReductionMeter* meter, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)), curve_(new TransferCurve(this)),
      detection_(makePicker(QStringLiteral("Detect"), settings_.field(&CompressorSettings::detection))),
      stereoLink_(makeToggle(QStringLiteral("Stereo link"), settings_.field(&CompressorSettings::stereoLink))),
      autoMakeup_(makeToggle(QStringLiteral("Auto makeup"), settings_.field(&CompressorSettings::autoMakeup))),
      makeup_(new ToneLabel({}, ViewStyle::captionSize, ToneLabel::Tone::secondary, this)) {
  setObjectName(QStringLiteral("compressorEditor"));
  detection_->setObjectName(QStringLiteral("detection"));
  stereoLink_->setObjectName(QStringLiteral("stereoLink"));
  autoMakeup_->setObjectName(QStringLiteral("autoMakeup"));
  makeup_->setObjectName(QStringLiteral("makeup"));

  auto* options = new QVBoxLayout;
  options->setSpacing(6);
  options->addWidget(detection_, 0, Qt::AlignLeft);
  options->addWidget(stereoLink_);
  options->addWidget(autoMakeup_);
  options->addWidget(makeup_);
  options->addStretch(1);
  auto* top = new QHBoxLayout;
  top->setSpacing(12);
  top->addWidget(curve_, 0, Qt::AlignTop);
  top->addLayout(options, 1);

  QVBoxLayout* column = makeColumn();
  column->addLayout(top);
  column->addWidget(meter);
  addSliders(column, settings_, rows);
  refresh();
}

QString CompressorEditor::makeupText(const CompressorSettings& settings) {
  return QString::asprintf("Makeup %+.1f dB", settings.effectiveMakeupDB());
}

void CompressorEditor::refresh() {
  const CompressorSettings settings = settings_.get();
  curve_->setSettings(settings);
  detection_->setSelectedIndex(caseIndex(settings.detection));
  showChecked(stereoLink_, settings.stereoLink);
  showChecked(autoMakeup_, settings.autoMakeup);
  makeup_->setText(makeupText(settings));
  refreshSliders();
}
