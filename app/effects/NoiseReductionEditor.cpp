#include "effects/NoiseReductionEditor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "effects/ApplyTarget.h"
#include "widgets/ViewStyle.h"
#include "effects/LinkButton.h"
#include "effects/NoiseProfileView.h"
#include "effects/SymbolButton.h"
#include "widgets/ToneLabel.h"

using quar::NoiseReductionSettings;
using Scale = ParamSlider::Scale;

namespace {

const SliderRow<NoiseReductionSettings> rows[] = {
    {"reductionDB", "Reduction", &NoiseReductionSettings::reductionDB, {0, 48}, "dB", "%.0f", Scale::linear, 18},
    {"sensitivityDB", "Sensitivity", &NoiseReductionSettings::sensitivityDB, {-12, 12}, "dB", "%.1f", Scale::linear,
     0},
    {"smoothing", "Smoothing", &NoiseReductionSettings::smoothing, {0, 100}, "%", "%.0f", Scale::linear, 50, true},
};

} // namespace

NoiseReductionEditor::NoiseReductionEditor(Binding<NoiseReductionSettings> settings, ApplyTarget* model,
                                           QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)), model_(model),
      learn_(new SymbolButton(QStringLiteral("waveform.badge.magnifyingglass"), 16,
                              QStringLiteral("Learn Noise from Selection"), this)),
      clear_(new LinkButton(QStringLiteral("Clear"), ViewStyle::calloutSize, this)), profile_(new NoiseProfileView(this)),
      noProfile_(new ToneLabel(QStringLiteral("No noise profile yet \u2014 the effect passes audio through. Select a "
                                              "noise-only region and learn it."),
                               ViewStyle::captionSize, ToneLabel::Tone::secondary, this)),
      outputNoiseOnly_(makeToggle(QStringLiteral("Output removed noise only"),
                                  settings_.field(&NoiseReductionSettings::outputNoiseOnly))) {
  setObjectName(QStringLiteral("noiseReductionEditor"));
  learn_->setObjectName(QStringLiteral("learnNoise"));
  learn_->setToolTip(
      QStringLiteral("Select a stretch of noise only (no wanted sound), then click to capture its spectrum."));
  clear_->setObjectName(QStringLiteral("clearProfile"));
  noProfile_->setObjectName(QStringLiteral("noProfile"));
  noProfile_->setWordWrap(true);
  outputNoiseOnly_->setObjectName(QStringLiteral("outputNoiseOnly"));
  connect(learn_, &QAbstractButton::clicked, this, &NoiseReductionEditor::learn);
  const Binding<std::optional<quar::NoiseProfile>> profile = settings_.field(&NoiseReductionSettings::profile);
  connect(clear_, &QAbstractButton::clicked, this, [profile] { profile.set(std::nullopt); });

  auto* actions = new QHBoxLayout;
  actions->addWidget(learn_);
  actions->addWidget(clear_);
  actions->addStretch(1);
  QVBoxLayout* column = makeColumn();
  column->addLayout(actions);
  column->addWidget(profile_);
  column->addWidget(noProfile_);
  addSliders(column, settings_, rows);
  column->addWidget(outputNoiseOnly_);
  refresh();
}

void NoiseReductionEditor::learn() {
  const std::optional<quar::FrameRange> selection = model_->selection();
  if (!selection) return;
  settings_.field(&NoiseReductionSettings::profile)
      .set(quar::NoiseProfile::learn(model_->content(), *selection, learnFFTSize));
}

void NoiseReductionEditor::refresh() {
  const NoiseReductionSettings settings = settings_.get();
  learn_->setEnabled(model_->selection().has_value());
  clear_->setVisible(settings.profile.has_value());
  profile_->setVisible(settings.profile.has_value());
  noProfile_->setVisible(!settings.profile.has_value());
  if (settings.profile) profile_->setProfile(*settings.profile);
  showChecked(outputNoiseOnly_, settings.outputNoiseOnly);
  refreshSliders();
}
