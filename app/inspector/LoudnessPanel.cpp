#include "inspector/LoudnessPanel.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <cmath>

#include "editor/EditorModel.h"
#include "inspector/AdjustLoudnessSection.h"
#include "inspector/ChannelLevelsSection.h"
#include "inspector/InspectorText.h"
#include "inspector/LiveMetersSection.h"
#include "inspector/LoudnessSpectrumView.h"
#include "platform/Icons.h"
#include "platform/ObservedRefresh.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

namespace {

// One figure: its title, then its value (red when it warns) beside its unit.
class MetricCell final : public QWidget {
public:
  MetricCell(const QString& title, QWidget* parent) : QWidget(parent) {
    setObjectName(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(new ToneLabel(title, TextStyle::caption, Tone::secondary, this));
    auto* line = new QHBoxLayout;
    line->setSpacing(3);
    value_ = new ToneLabel(QString(), ViewStyle::font(13, QFont::Medium), Tone::primary, this);
    value_->setObjectName(QStringLiteral("metricValue"));
    line->addWidget(value_, 0, Qt::AlignBaseline);
    unit_ = new ToneLabel(QString(), ViewStyle::font(9), Tone::tertiary, this);
    line->addWidget(unit_, 0, Qt::AlignBaseline);
    line->addStretch(1);
    column->addLayout(line);
  }

  void setMetric(const LoudnessPanel::Metric& metric) {
    value_->setText(metric.value);
    value_->setColor(metric.warning ? &ViewStyle::systemRed : nullptr);
    unit_->setText(metric.unit);
  }

private:
  ToneLabel* value_;
  ToneLabel* unit_;
};

} // namespace

LoudnessPanel::LoudnessPanel(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("loudnessPanel"));
  column_ = new QVBoxLayout(this);
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(16);

  auto* header = new QHBoxLayout;
  scope_ = new SegmentedControl(QStringLiteral("Measure"),
                                QStringList{QStringLiteral("Entire File"), QStringLiteral("Selection")}, this);
  scope_->setObjectName(QStringLiteral("analysisScope"));
  connect(scope_, &SegmentedControl::picked, this, [this](int index) {
    model_->loudnessSettings().setAnalysisScope(quar::EnumCases<AnalysisScope>::values[static_cast<size_t>(index)]);
  });
  header->addWidget(scope_, 1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("analysisProgress"));
  progress_->setRange(0, 0);
  progress_->setTextVisible(false);
  progress_->setFixedSize(48, 8);
  header->addWidget(progress_);
  column_->addLayout(header);

  measurement_ = new QWidget(this);
  measurement_->setObjectName(QStringLiteral("measurement"));
  auto* measured = new QVBoxLayout(measurement_);
  measured->setContentsMargins(0, 0, 0, 0);
  measured->setSpacing(16);
  auto* readout = new QHBoxLayout;
  auto* integratedColumn = new QVBoxLayout;
  integratedColumn->setSpacing(2);
  integratedColumn->addWidget(
      new ToneLabel(QStringLiteral("Integrated"), TextStyle::caption, Tone::secondary, measurement_));
  auto* integratedLine = new QHBoxLayout;
  integratedLine->setSpacing(4);
  integrated_ = new ToneLabel(QString(), ViewStyle::font(34, QFont::DemiBold), Tone::primary, measurement_);
  integrated_->setObjectName(QStringLiteral("integratedValue"));
  integrated_->setColor(&Theme::loudnessIntegrated);
  integratedLine->addWidget(integrated_, 0, Qt::AlignBaseline);
  integratedLine->addWidget(
      new ToneLabel(QStringLiteral("LUFS"), ViewStyle::font(12, QFont::Medium), Tone::secondary, measurement_), 0,
      Qt::AlignBaseline);
  integratedColumn->addLayout(integratedLine);
  readout->addLayout(integratedColumn);
  readout->addStretch(1);
  targetColumn_ = new QWidget(measurement_);
  targetColumn_->setObjectName(QStringLiteral("targetColumn"));
  auto* targetLines = new QVBoxLayout(targetColumn_);
  targetLines->setContentsMargins(0, 0, 0, 0);
  targetLines->setSpacing(2);
  targetCaption_ = new ToneLabel(QString(), TextStyle::caption, Tone::secondary, targetColumn_);
  targetCaption_->setObjectName(QStringLiteral("targetCaption"));
  targetCaption_->setAlignment(Qt::AlignRight);
  targetLines->addWidget(targetCaption_);
  difference_ = new ToneLabel(QString(), ViewStyle::font(15, QFont::DemiBold), Tone::primary, targetColumn_);
  difference_->setObjectName(QStringLiteral("targetDifference"));
  difference_->setAlignment(Qt::AlignRight);
  targetLines->addWidget(difference_);
  readout->addWidget(targetColumn_, 0, Qt::AlignBottom);
  measured->addLayout(readout);

  distribution_ = new LoudnessSpectrumView(measurement_);
  measured->addWidget(distribution_);

  metrics_ = new QGridLayout;
  metrics_->setHorizontalSpacing(12);
  metrics_->setVerticalSpacing(6);
  const QString titles[] = {QStringLiteral("Short-term max"), QStringLiteral("Momentary max"),
                            QStringLiteral("Loudness range"), QStringLiteral("True peak"),
                            QStringLiteral("Sample peak"),    QStringLiteral("RMS")};
  for (int i = 0; i < 6; ++i) metrics_->addWidget(new MetricCell(titles[i], measurement_), i / 2, i % 2);
  measured->addLayout(metrics_);

  channelsDivider_ = ViewStyle::divider(measurement_);
  measured->addWidget(channelsDivider_);
  channels_ = new ChannelLevelsSection(model_, measurement_);
  measured->addWidget(channels_);
  column_->addWidget(measurement_);

  placeholder_ = new QWidget(this);
  placeholder_->setObjectName(QStringLiteral("loudnessPlaceholder"));
  placeholder_->setMinimumHeight(160);
  auto* placeholderColumn = new QVBoxLayout(placeholder_);
  placeholderColumn->setSpacing(8);
  placeholderColumn->addStretch(1);
  symbol_ = new QLabel(placeholder_);
  symbol_->setAlignment(Qt::AlignCenter);
  placeholderColumn->addWidget(symbol_);
  placeholderText_ = new ToneLabel(QString(), TextStyle::body, Tone::secondary, placeholder_);
  placeholderText_->setObjectName(QStringLiteral("placeholderText"));
  placeholderText_->setAlignment(Qt::AlignCenter);
  placeholderText_->setWordWrap(true);
  placeholderColumn->addWidget(placeholderText_);
  placeholderColumn->addStretch(1);
  column_->addWidget(placeholder_);

  column_->addWidget(ViewStyle::divider(this));
  adjust_ = new AdjustLoudnessSection(model_, this);
  column_->addWidget(adjust_);

  tintSymbol();
  observer_->watch(model_);
  observer_->watch(&model_->loudnessSettings());
  observer_->watch(&model_->transport());
  observer_->watch(&model_->analysis());
  observer_->watch(&model_->jobs());
  observer_->run();
}

void LoudnessPanel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) tintSymbol();
}

void LoudnessPanel::tintSymbol() {
  symbol_->setPixmap(Icons::tinted(QStringLiteral("gauge.with.dots.needle.33percent"), Theme::tertiaryLabel(palette()))
                         .pixmap(QSize(30, 30)));
}

std::vector<LoudnessPanel::Metric> LoudnessPanel::metrics(const quar::LoudnessResult& result, double ceilingDBTP) {
  using InspectorText::level;
  using InspectorText::loudness;
  return {
      {QStringLiteral("Short-term max"), loudness(result.maxShortTermLUFS), QStringLiteral("LUFS"), false},
      {QStringLiteral("Momentary max"), loudness(result.maxMomentaryLUFS), QStringLiteral("LUFS"), false},
      {QStringLiteral("Loudness range"), InspectorText::fixed(result.loudnessRangeLU, 1), QStringLiteral("LU"), false},
      {QStringLiteral("True peak"), level(result.truePeakDBTP), QStringLiteral("dBTP"),
       result.truePeakDBTP > ceilingDBTP},
      {QStringLiteral("Sample peak"), level(result.samplePeakDBFS), QStringLiteral("dBFS"),
       result.samplePeakDBFS >= -0.01},
      {QStringLiteral("RMS"), level(result.rmsDBFS), QStringLiteral("dBFS"), false}};
}

QString LoudnessPanel::placeholderText(AnalysisScope scope, bool hasSelection, int64_t frameCount) {
  if (scope == AnalysisScope::selection && !hasSelection)
    return QStringLiteral("Select at least 400 ms of audio to measure it.");
  return frameCount > 0 ? QStringLiteral("Measuring…") : QStringLiteral("No audio.");
}

bool LoudnessPanel::scopeEnabled(AnalysisScope scope, bool hasSelection) {
  return hasSelection || scope == AnalysisScope::selection;
}

QString LoudnessPanel::targetCaption(double targetLUFS) {
  return QStringLiteral("vs. target ") + InspectorText::wholeNumber(targetLUFS);
}

QString LoudnessPanel::differenceText(double integratedLUFS, double targetLUFS) {
  return InspectorText::signedFixed(integratedLUFS - targetLUFS, 1) + QStringLiteral(" LU");
}

bool LoudnessPanel::isOnTarget(double integratedLUFS, double targetLUFS) {
  return std::abs(integratedLUFS - targetLUFS) <= 1.0;
}

void LoudnessPanel::refresh() {
  const AnalysisScope scope = model_->loudnessSettings().analysisScope();
  const bool hasSelection = model_->selection().has_value();
  scope_->setSelectedIndex(scope == AnalysisScope::file ? 0 : 1);
  scope_->setEnabled(scopeEnabled(scope, hasSelection));
  progress_->setVisible(model_->analysis().isAnalyzing());

  const std::optional<quar::LoudnessResult>& result = model_->activeLoudness();
  const double target = model_->loudnessSettings().targetLUFS();
  measurement_->setVisible(result.has_value());
  // Nothing in place of a measurement while a job fills an empty document (a file loading).
  const bool loading = model_->content().frameCount() == 0 && model_->jobs().busy();
  placeholder_->setVisible(!result && !loading);
  if (result) {
    integrated_->setText(InspectorText::loudness(result->integratedLUFS));
    targetColumn_->setVisible(std::isfinite(result->integratedLUFS));
    targetCaption_->setText(targetCaption(target));
    difference_->setText(differenceText(result->integratedLUFS, target));
    difference_->setColor(isOnTarget(result->integratedLUFS, target) ? &Theme::loudnessTarget : nullptr);
    const std::optional<quar::LoudnessNormalization::Plan> plan = model_->loudnessPlan();
    distribution_->setMeasurement(*result, target,
                                  plan ? std::optional<double>(plan->predictedIntegratedLUFS) : std::nullopt);
    const std::vector<Metric> figures = metrics(*result, model_->loudnessSettings().ceilingDBTP());
    for (int i = 0; i < 6; ++i)
      static_cast<MetricCell*>(metrics_->itemAtPosition(i / 2, i % 2)->widget())
          ->setMetric(figures[static_cast<size_t>(i)]);
    const bool multichannel = model_->content().channelCount() >= 2;
    channelsDivider_->setVisible(multichannel);
    channels_->setVisible(multichannel);
  } else {
    placeholderText_->setText(placeholderText(scope, hasSelection, model_->content().frameCount()));
  }
  showLiveMeters(model_->transport().isPlaying());
}

void LoudnessPanel::showLiveMeters(bool show) {
  if (show == (liveMeters_ != nullptr)) return;
  if (!show) {
    delete liveDivider_;
    delete liveMeters_;
    liveDivider_ = nullptr;
    liveMeters_ = nullptr;
    return;
  }
  liveDivider_ = ViewStyle::divider(this);
  liveMeters_ = new LiveMetersSection(model_, this);
  column_->addWidget(liveDivider_);
  column_->addWidget(liveMeters_);
}
