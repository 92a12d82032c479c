#include "inspector/SpectrumPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "editor/EditorModel.h"
#include "inspector/InspectorText.h"
#include "inspector/SpectrumPlot.h"
#include "inspector/SpectrumState.h"
#include "platform/ObservedRefresh.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

SpectrumPanel::SpectrumPanel(EditorModel* model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      state_(new SpectrumState(model, this)),
      observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("spectrumPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(12);

  auto* header = new QHBoxLayout;
  header->addWidget(new ToneLabel(QStringLiteral("Spectrum"), TextStyle::headline, Tone::primary, this));
  header->addStretch(1);
  mode_ = new ToneLabel(QString(), TextStyle::caption, Tone::secondary, this);
  mode_->setObjectName(QStringLiteral("spectrumMode"));
  header->addWidget(mode_);
  column->addLayout(header);

  plot_ = new SpectrumPlot(model_, state_, this);
  column->addWidget(plot_);

  auto* controls = new QGridLayout;
  controls->setHorizontalSpacing(10);
  controls->setVerticalSpacing(8);
  const auto rowLabel = [this, controls](const QString& text, int row) {
    controls->addWidget(new ToneLabel(text, TextStyle::callout, Tone::secondary, this), row, 0, Qt::AlignLeft);
  };
  rowLabel(QStringLiteral("Frequency"), 0);
  frequency_ = new SegmentedControl(QStringLiteral("Frequency"),
                                    QStringList{QStringLiteral("Linear"), QStringLiteral("Log")}, this);
  frequency_->setObjectName(QStringLiteral("frequencyScale"));
  connect(frequency_, &SegmentedControl::picked, this, [this](int index) {
    state_->setFrequencyScale(quar::EnumCases<FrequencyScale>::values[static_cast<size_t>(index)]);
  });
  controls->addWidget(frequency_, 0, 1, Qt::AlignLeft);
  rowLabel(QStringLiteral("Amplitude"), 1);
  amplitude_ = new SegmentedControl(QStringLiteral("Amplitude"),
                                    QStringList{QStringLiteral("dB"), QStringLiteral("Linear")}, this);
  amplitude_->setObjectName(QStringLiteral("amplitudeScale"));
  connect(amplitude_, &SegmentedControl::picked, this, [this](int index) {
    state_->setAmplitudeScale(quar::EnumCases<AmplitudeScale>::values[static_cast<size_t>(index)]);
  });
  controls->addWidget(amplitude_, 1, 1, Qt::AlignLeft);
  rowLabel(QStringLiteral("FFT size"), 2);
  fftSize_ = new QComboBox(this);
  fftSize_->setObjectName(QStringLiteral("fftSize"));
  fftSize_->setAccessibleName(QStringLiteral("FFT size"));
  fftSize_->setFont(ViewStyle::font(TextStyle::callout));
  for (const int size : SpectrumState::fftSizes) fftSize_->addItem(QString::number(size), size);
  connect(fftSize_, &QComboBox::activated, this,
          [this](int index) { state_->setFFTSize(SpectrumState::fftSizes[static_cast<size_t>(index)]); });
  controls->addWidget(fftSize_, 2, 1, Qt::AlignLeft);
  holdPeaks_ = new QCheckBox(QStringLiteral("Peak hold"), this);
  holdPeaks_->setObjectName(QStringLiteral("peakHold"));
  holdPeaks_->setFont(ViewStyle::font(TextStyle::callout));
  connect(holdPeaks_, &QCheckBox::toggled, this, [this](bool on) { state_->setHoldPeaks(on); });
  controls->addWidget(new QWidget(this), 3, 0);
  controls->addWidget(holdPeaks_, 3, 1, Qt::AlignLeft);
  controls->setColumnStretch(1, 1);
  column->addLayout(controls);

  resolution_ = new ToneLabel(QString(), TextStyle::caption, Tone::tertiary, this);
  resolution_->setObjectName(QStringLiteral("spectrumResolution"));
  column->addWidget(resolution_);

  observer_->watch(model_);
  observer_->watch(&model_->transport());
  observer_->watch(state_);
  observer_->run();
}

QString SpectrumPanel::resolutionText(double sampleRate, int fftSize) {
  return QStringLiteral("Resolution ") + InspectorText::fixed(sampleRate / fftSize, 1) +
         QStringLiteral(" Hz per bin · Blackman-Harris window");
}

void SpectrumPanel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) observer_->run();
}

void SpectrumPanel::refresh() {
  if (model_->transport().isPlaying())
    mode_->setText(QStringLiteral("Live at playhead"));
  else
    mode_->setText(model_->selection() ? QStringLiteral("Selection average") : QStringLiteral("Around cursor"));
  const QSignalBlocker blockFrequency(frequency_), blockAmplitude(amplitude_), blockSize(fftSize_),
      blockHold(holdPeaks_);
  frequency_->setSelectedIndex(quar::caseIndex(state_->frequencyScale()));
  amplitude_->setSelectedIndex(quar::caseIndex(state_->amplitudeScale()));
  const auto& sizes = SpectrumState::fftSizes;
  fftSize_->setCurrentIndex(static_cast<int>(std::find(sizes.begin(), sizes.end(), state_->fftSize()) - sizes.begin()));
  holdPeaks_->setChecked(state_->holdPeaks());
  resolution_->setText(resolutionText(model_->content().sampleRate(), state_->fftSize()));
}
