#include "inspector/AdjustLoudnessSection.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"
#include "inspector/InspectorText.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "widgets/RoundedPanel.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

namespace {

// Slider positions: the target in half LU, the manual gain in tenths of a dB.
constexpr int targetSteps = 2;
constexpr int gainSteps = 10;
constexpr double maxManualGainDB = 24;

// An icon in the text colour and a title, as one label.
QWidget* iconTitle(const QString& symbol, QLabel*& title, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(5);
  auto* icon = new QLabel(box);
  icon->setPixmap(Icons::tinted(symbol).pixmap(QSize(14, 14)));
  row->addWidget(icon);
  title = new ToneLabel(QString(), TextStyle::callout, Tone::primary, box);
  row->addWidget(title);
  return box;
}

QSlider* slider(int lo, int hi, QWidget* parent) {
  auto* control = new QSlider(Qt::Horizontal, parent);
  control->setRange(lo, hi);
  control->setSingleStep(1);
  control->setPageStep(hi - lo > 100 ? 10 : 2);
  return control;
}

} // namespace

AdjustLoudnessSection::AdjustLoudnessSection(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("adjustLoudness"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(new ToneLabel(QStringLiteral("Adjust Loudness"), TextStyle::headline, Tone::primary, this));

  mode_ = new SegmentedControl(QStringLiteral("Mode"),
                               QStringList{QStringLiteral("Match Target"), QStringLiteral("Manual Gain")}, this);
  mode_->setObjectName(QStringLiteral("adjustMode"));
  connect(mode_, &SegmentedControl::picked, this, [this](int index) {
    model_->loudnessSettings().setAdjustMode(quar::EnumCases<LoudnessAdjustMode>::values[static_cast<size_t>(index)]);
  });
  column->addWidget(mode_);

  targetRows_ = new QWidget(this);
  targetRows_->setObjectName(QStringLiteral("targetRows"));
  auto* targetColumn = new QVBoxLayout(targetRows_);
  targetColumn->setContentsMargins(0, 0, 0, 0);
  targetColumn->setSpacing(10);
  auto* presetRow = new QHBoxLayout;
  presetRow->addWidget(new ToneLabel(QStringLiteral("Target"), TextStyle::callout, Tone::primary, targetRows_));
  presetRow->addStretch(1);
  presetMenu_ = new QPushButton(targetRows_);
  presetMenu_->setObjectName(QStringLiteral("presetMenu"));
  presetMenu_->setFont(ViewStyle::font(TextStyle::callout));
  auto* menu = new QMenu(presetMenu_);
  for (const LoudnessPreset& preset : presets())
    menu->addAction(presetItemText(preset), this, [this, preset] {
      model_->loudnessSettings().setTargetLUFS(preset.lufs);
      model_->loudnessSettings().setCeilingDBTP(preset.ceiling);
    });
  presetMenu_->setMenu(menu);
  presetRow->addWidget(presetMenu_);
  targetColumn->addLayout(presetRow);
  auto* sliderRow = new QHBoxLayout;
  target_ = slider(static_cast<int>(LoudnessSettings::minTargetLUFS * targetSteps),
                   static_cast<int>(LoudnessSettings::maxTargetLUFS * targetSteps), targetRows_);
  target_->setObjectName(QStringLiteral("targetSlider"));
  target_->setAccessibleName(QStringLiteral("Target"));
  connect(target_, &QSlider::valueChanged, this,
          [this](int value) { model_->loudnessSettings().setTargetLUFS(static_cast<double>(value) / targetSteps); });
  sliderRow->addWidget(target_, 1);
  targetValue_ = new ToneLabel(QString(), TextStyle::callout, Tone::primary, targetRows_);
  targetValue_->setObjectName(QStringLiteral("targetValue"));
  targetValue_->setFixedWidth(76);
  targetValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sliderRow->addWidget(targetValue_);
  targetColumn->addLayout(sliderRow);
  column->addWidget(targetRows_);

  gainRow_ = new QWidget(this);
  gainRow_->setObjectName(QStringLiteral("gainRow"));
  auto* gainRow = new QHBoxLayout(gainRow_);
  gainRow->setContentsMargins(0, 0, 0, 0);
  gainRow->addWidget(new ToneLabel(QStringLiteral("Gain"), TextStyle::callout, Tone::primary, gainRow_));
  gainRow->addWidget(new ToneLabel(QStringLiteral("-24"), ViewStyle::font(9), Tone::primary, gainRow_));
  gain_ =
      slider(static_cast<int>(-maxManualGainDB * gainSteps), static_cast<int>(maxManualGainDB * gainSteps), gainRow_);
  gain_->setObjectName(QStringLiteral("gainSlider"));
  gain_->setAccessibleName(QStringLiteral("Gain"));
  connect(gain_, &QSlider::valueChanged, this,
          [this](int value) { model_->loudnessSettings().setManualGainDB(static_cast<double>(value) / gainSteps); });
  gainRow->addWidget(gain_, 1);
  gainRow->addWidget(new ToneLabel(QStringLiteral("+24"), ViewStyle::font(9), Tone::primary, gainRow_));
  gainValue_ = new ToneLabel(QString(), TextStyle::callout, Tone::primary, gainRow_);
  gainValue_->setObjectName(QStringLiteral("gainValue"));
  gainValue_->setFixedWidth(62);
  gainValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  gainRow->addWidget(gainValue_);
  column->addWidget(gainRow_);

  auto* ceilingRow = new QHBoxLayout;
  ceilingRow->addWidget(new ToneLabel(QStringLiteral("True-peak ceiling"), TextStyle::callout, Tone::primary, this));
  ceilingRow->addStretch(1);
  ceilingValue_ = new ToneLabel(QString(), TextStyle::callout, Tone::primary, this);
  ceilingValue_->setObjectName(QStringLiteral("ceilingValue"));
  ceilingRow->addWidget(ceilingValue_);
  auto* stepper = new QVBoxLayout;
  stepper->setSpacing(0);
  const auto arrow = [this, stepper](Qt::ArrowType type, const char* name, int steps) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setArrowType(type);
    button->setFixedSize(18, 11);
    button->setAutoRepeat(true);
    connect(button, &QToolButton::clicked, this, [this, steps] { stepCeiling(steps); });
    stepper->addWidget(button);
    return button;
  };
  ceilingUp_ = arrow(Qt::UpArrow, "ceilingUp", 1);
  ceilingDown_ = arrow(Qt::DownArrow, "ceilingDown", -1);
  ceilingRow->addLayout(stepper);
  column->addLayout(ceilingRow);

  limit_ = new QCheckBox(QStringLiteral("Limit true peaks to the ceiling"), this);
  limit_->setObjectName(QStringLiteral("limitTruePeaks"));
  connect(limit_, &QCheckBox::toggled, this, [this](bool on) { model_->loudnessSettings().setLimitTruePeaks(on); });
  column->addWidget(limit_);
  preview_ = new QCheckBox(QStringLiteral("Preview while playing"), this);
  preview_->setObjectName(QStringLiteral("previewLoudness"));
  preview_->setToolTip(QStringLiteral("Hear the gain change before applying it (limiting is not previewed)."));
  connect(preview_, &QCheckBox::toggled, this, [this](bool on) { model_->loudnessSettings().setPreviewLoudness(on); });
  column->addWidget(preview_);

  // The prediction's frame: the faintest tone at half strength.
  predictionBox_ = new RoundedPanel(
      8, [](const QPalette& palette) { return ViewStyle::faded(ViewStyle::quaternary(palette), 0.5); }, this);
  predictionBox_->setObjectName(QStringLiteral("prediction"));
  auto* box = new QVBoxLayout(predictionBox_);
  box->setContentsMargins(10, 10, 10, 10);
  box->setSpacing(4);
  auto* gainLine = new QHBoxLayout;
  gainLine->addWidget(iconTitle(QStringLiteral("slider.horizontal.3"), predictedGain_, predictionBox_));
  predictedGain_->setObjectName(QStringLiteral("predictedGain"));
  gainLine->addStretch(1);
  predictedLoudness_ = new ToneLabel(QString(), TextStyle::callout, Tone::primary, predictionBox_);
  predictedLoudness_->setObjectName(QStringLiteral("predictedLoudness"));
  gainLine->addWidget(predictedLoudness_);
  box->addLayout(gainLine);
  auto* peakLine = new QHBoxLayout;
  QLabel* peakTitle = nullptr;
  peakLine->addWidget(iconTitle(QStringLiteral("waveform.badge.exclamationmark"), peakTitle, predictionBox_));
  peakTitle->setText(QStringLiteral("True peak"));
  peakLine->addStretch(1);
  predictedPeak_ = new ToneLabel(QString(), TextStyle::callout, Tone::primary, predictionBox_);
  predictedPeak_->setObjectName(QStringLiteral("predictedPeak"));
  peakLine->addWidget(predictedPeak_);
  box->addLayout(peakLine);
  note_ = new ToneLabel(QString(), TextStyle::caption, Tone::secondary, predictionBox_);
  note_->setObjectName(QStringLiteral("predictionNote"));
  note_->setWordWrap(true);
  box->addWidget(note_);
  column->addWidget(predictionBox_);

  apply_ = new QPushButton(this);
  apply_->setObjectName(QStringLiteral("applyLoudness"));
  apply_->setFont(ViewStyle::font(TextStyle::body));
  apply_->setMinimumHeight(30);
  apply_->setDefault(true);
  connect(apply_, &QPushButton::clicked, this, [this] { model_->applyLoudness(); });
  column->addWidget(apply_);

  observer_->watch(model_);

  observer_->watch(&model_->loudnessSettings());
  observer_->watch(&model_->analysis());
  observer_->run();
}

const std::vector<LoudnessPreset>& AdjustLoudnessSection::presets() {
  static const std::vector<LoudnessPreset> list{
      {QStringLiteral("Spotify / YouTube / Tidal"), -14, -1.0},
      {QStringLiteral("Apple Music"), -16, -1.0},
      {QStringLiteral("Amazon Music"), -14, -2.0},
      {QStringLiteral("Podcast (Apple)"), -16, -1.0},
      {QStringLiteral("Audiobook (ACX)"), -20, -3.0},
      {QStringLiteral("EBU R128 Broadcast"), -23, -1.0},
      {QStringLiteral("ATSC A/85 (US TV)"), -24, -2.0},
      {QStringLiteral("Club / Loud Master"), -9, -0.3},
  };
  return list;
}

QString AdjustLoudnessSection::presetItemText(const LoudnessPreset& preset) {
  return preset.name + QStringLiteral("  (") + InspectorText::wholeNumber(preset.lufs) + QStringLiteral(" LUFS, ") +
         InspectorText::fixed(preset.ceiling, 1) + QStringLiteral(" dBTP)");
}

QString AdjustLoudnessSection::presetMenuTitle(double targetLUFS, double ceilingDBTP) {
  for (const LoudnessPreset& preset : presets())
    if (preset.lufs == targetLUFS && preset.ceiling == ceilingDBTP) return preset.name;
  return QStringLiteral("Custom");
}

AdjustLoudnessSection::Prediction AdjustLoudnessSection::prediction(const quar::LoudnessNormalization::Plan& plan,
                                                                    bool limitTruePeaks, double ceilingDBTP) {
  const bool limited = plan.needsLimiting && limitTruePeaks;
  const bool clipping = plan.needsLimiting && !limitTruePeaks;
  Prediction p;
  p.gain = std::abs(plan.gainDB) >= 0.005 ? InspectorText::signedFixed(plan.gainDB, 2) + QStringLiteral(" dB gain")
                                          : QStringLiteral("No gain change");
  p.loudness = QStringLiteral("→ ") + InspectorText::loudness(plan.predictedIntegratedLUFS) + QStringLiteral(" LUFS");
  p.truePeak = InspectorText::level(limited ? ceilingDBTP : plan.predictedTruePeakDBTP) + QStringLiteral(" dBTP") +
               (limited ? QStringLiteral(" (limited)") : QString());
  p.truePeakWarning = clipping;
  if (clipping)
    p.note = QStringLiteral("Peaks will exceed the ceiling and may clip. Enable limiting or lower the target.");
  else if (limited)
    p.note = QStringLiteral("A transparent true-peak limiter will hold peaks at the ceiling.");
  p.noteWarning = clipping;
  return p;
}

QString AdjustLoudnessSection::applyTitle(AnalysisScope scope, bool hasSelection) {
  return scope == AnalysisScope::selection && hasSelection ? QStringLiteral("Apply to Selection")
                                                           : QStringLiteral("Apply to Entire File");
}

bool AdjustLoudnessSection::canApply(const std::optional<quar::LoudnessNormalization::Plan>& plan,
                                     bool canChangeDocument) {
  return plan && canChangeDocument && std::abs(plan->gainDB) >= 0.01;
}

void AdjustLoudnessSection::stepCeiling(int steps) {
  LoudnessSettings& settings = model_->loudnessSettings();
  settings.setCeilingDBTP(LoudnessSettings::steppedCeiling(settings.ceilingDBTP(), steps));
}

void AdjustLoudnessSection::refresh() {
  const LoudnessAdjustMode mode = model_->loudnessSettings().adjustMode();
  const double target = model_->loudnessSettings().targetLUFS();
  const double ceiling = model_->loudnessSettings().ceilingDBTP();
  const QSignalBlocker blockMode(mode_), blockTarget(target_), blockGain(gain_), blockLimit(limit_),
      blockPreview(preview_);
  mode_->setSelectedIndex(mode == LoudnessAdjustMode::target ? 0 : 1);
  targetRows_->setVisible(mode == LoudnessAdjustMode::target);
  gainRow_->setVisible(mode == LoudnessAdjustMode::manual);
  presetMenu_->setText(presetMenuTitle(target, ceiling));
  target_->setValue(static_cast<int>(std::lround(target * targetSteps)));
  targetValue_->setText(InspectorText::fixed(target, 1) + QStringLiteral(" LUFS"));
  const double gain = model_->loudnessSettings().manualGainDB();
  gain_->setValue(static_cast<int>(std::lround(std::clamp(gain, -maxManualGainDB, maxManualGainDB) * gainSteps)));
  gainValue_->setText(InspectorText::signedFixed(gain, 1) + QStringLiteral(" dB"));
  ceilingValue_->setText(InspectorText::fixed(ceiling, 1) + QStringLiteral(" dBTP"));
  ceilingUp_->setEnabled(ceiling < LoudnessSettings::maxCeilingDBTP);
  ceilingDown_->setEnabled(ceiling > LoudnessSettings::minCeilingDBTP);
  limit_->setChecked(model_->loudnessSettings().limitTruePeaks());
  preview_->setChecked(model_->loudnessSettings().previewLoudness());

  const std::optional<quar::LoudnessNormalization::Plan> plan = model_->loudnessPlan();
  predictionBox_->setVisible(plan.has_value());
  if (plan) {
    const Prediction p = prediction(*plan, model_->loudnessSettings().limitTruePeaks(), ceiling);
    predictedGain_->setText(p.gain);
    predictedLoudness_->setText(p.loudness);
    predictedPeak_->setText(p.truePeak);
    predictedPeak_->setColor(p.truePeakWarning ? &ViewStyle::systemRed : nullptr);
    note_->setText(p.note);
    note_->setVisible(!p.note.isEmpty());
    note_->setColor(p.noteWarning ? &ViewStyle::systemRed : nullptr);
  }
  apply_->setText(applyTitle(model_->loudnessSettings().analysisScope(), model_->selection().has_value()));
  apply_->setEnabled(canApply(plan, model_->canChangeDocument()));
}
