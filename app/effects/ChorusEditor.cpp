#include "effects/ChorusEditor.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "widgets/ViewStyle.h"
#include "widgets/ToneLabel.h"

using quar::ChorusSettings;
using quar::ModulationMode;
using Scale = ParamSlider::Scale;

namespace {

// The rows above the Voices stepper, then those below it.
const SliderRow<ChorusSettings> upperRows[] = {
    {"rateHz", "Rate", &ChorusSettings::rateHz, {0.05, 10}, "Hz", "%.2f", Scale::log, 0.8},
    {"depth", "Depth", &ChorusSettings::depth, {0, 100}, "%", "%.0f", Scale::linear, 50, true},
    {"delayMs", "Delay", &ChorusSettings::delayMs, {0.5, 40}, "ms", "%.1f", Scale::log, 15},
    {"feedback", "Feedback", &ChorusSettings::feedback, {-95, 95}, "%", "%.0f", Scale::linear, 0, true},
};
const SliderRow<ChorusSettings> lowerRows[] = {
    {"stereoSpread", "Spread", &ChorusSettings::stereoSpread, {0, 100}, "%", "%.0f", Scale::linear, 50, true},
    {"mix", "Mix", &ChorusSettings::mix, {0, 100}, "%", "%.0f", Scale::linear, 50, true},
};

} // namespace

ChorusEditor::ChorusEditor(Binding<ChorusSettings> settings, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)),
      mode_(makePicker(QStringLiteral("Mode"), settings_.field(&ChorusSettings::mode))) {
  setObjectName(QStringLiteral("chorusEditor"));
  mode_->setObjectName(QStringLiteral("mode"));
  QVBoxLayout* column = makeColumn();
  column->addWidget(mode_, 0, Qt::AlignLeft);
  addSliders(column, settings_, upperRows);
  delay_ = sliders()[2];
  column->addWidget(makeVoicesRow());
  addSliders(column, settings_, lowerRows);
  refresh();
}

QWidget* ChorusEditor::makeVoicesRow() {
  voicesRow_ = new QWidget(this);
  voicesRow_->setObjectName(QStringLiteral("voices"));
  voices_ = new ToneLabel({}, ViewStyle::calloutSize, ToneLabel::Tone::primary, voicesRow_);
  voices_->setObjectName(QStringLiteral("voicesLabel"));
  fewerVoices_ = new QToolButton(voicesRow_);
  fewerVoices_->setObjectName(QStringLiteral("fewerVoices"));
  fewerVoices_->setText(QStringLiteral("\u2212"));
  moreVoices_ = new QToolButton(voicesRow_);
  moreVoices_->setObjectName(QStringLiteral("moreVoices"));
  moreVoices_->setText(QStringLiteral("+"));
  connect(fewerVoices_, &QToolButton::clicked, this, [this] { stepVoices(-1); });
  connect(moreVoices_, &QToolButton::clicked, this, [this] { stepVoices(1); });
  auto* layout = new QHBoxLayout(voicesRow_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(voices_);
  layout->addWidget(fewerVoices_);
  layout->addWidget(moreVoices_);
  layout->addStretch(1);
  return voicesRow_;
}

double ChorusEditor::delayDefaultMs(ModulationMode mode) { return mode == ModulationMode::flanger ? 2 : 15; }

void ChorusEditor::stepVoices(int64_t step) {
  // Held next to the range first, so that a far-off stored count cannot overflow.
  const int64_t voices = std::clamp(settings_.get().voices, minVoices - 1, maxVoices + 1);
  settings_.field(&ChorusSettings::voices).set(std::clamp(voices + step, minVoices, maxVoices));
}

void ChorusEditor::refresh() {
  const ChorusSettings settings = settings_.get();
  mode_->setSelectedIndex(caseIndex(settings.mode));
  delay_->setDefaultValue(delayDefaultMs(settings.mode));
  voicesRow_->setVisible(settings.mode == ModulationMode::chorus);
  voices_->setText(QStringLiteral("Voices: ") + QString::number(settings.voices));
  fewerVoices_->setEnabled(settings.voices > minVoices);
  moreVoices_->setEnabled(settings.voices < maxVoices);
  refreshSliders();
}
