#include "effects/DelayEditor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "base/Numbers.h"
#include "widgets/ViewStyle.h"
#include "widgets/TextDrawing.h"
#include "widgets/ToneLabel.h"

using quar::DelaySettings;
using Scale = ParamSlider::Scale;

namespace {

// The sliders above the sync row, then those below it.
const SliderRow<DelaySettings> upperRows[] = {
    {"timeMs", "Time", &DelaySettings::timeMs, {1, 4000}, "ms", "%.0f", Scale::log, 375},
};
const SliderRow<DelaySettings> lowerRows[] = {
    {"rightTimeRatio", "Right \u00D7", &DelaySettings::rightTimeRatio, {0.25, 4}, "\u00D7", "%.2f", Scale::log, 1.0},
    {"feedback", "Feedback", &DelaySettings::feedback, {0, 95}, "%", "%.0f", Scale::linear, 35, true},
    {"lowCutHz", "Low cut", &DelaySettings::lowCutHz, {20, 2000}, "Hz", "%.0f", Scale::log, 80},
    {"highCutHz", "High cut", &DelaySettings::highCutHz, {1000, 20000}, "Hz", "%.0f", Scale::log, 8000},
    {"mix", "Mix", &DelaySettings::mix, {0, 100}, "%", "%.0f", Scale::linear, 30, true},
};

struct Note {
  const char* title;
  double beats;
};
const Note notes[] = {{"1/4", 1.0}, {"1/8.", 0.75}, {"1/8", 0.5}, {"1/16", 0.25}};

constexpr double slowestBPM = 20;

} // namespace

DelayEditor::DelayEditor(Binding<DelaySettings> settings, QWidget* parent)
    : EffectEditor(parent), settings_(std::move(settings)),
      pingPong_(makeToggle(QStringLiteral("Ping-pong"), settings_.field(&DelaySettings::pingPong))) {
  setObjectName(QStringLiteral("delayEditor"));
  pingPong_->setObjectName(QStringLiteral("pingPong"));
  QVBoxLayout* column = makeColumn();
  addSliders(column, settings_, upperRows);
  column->addWidget(makeSyncRow());
  addSliders(column, settings_, lowerRows);
  column->addWidget(pingPong_);
  refresh();
}

// A focused tempo field finishes its editing as it is destroyed, after this panel's own part.
DelayEditor::~DelayEditor() { bpmField_->disconnect(this); }

QWidget* DelayEditor::makeSyncRow() {
  auto* row = new QWidget(this);
  row->setObjectName(QStringLiteral("sync"));
  auto* caption = new ToneLabel(QStringLiteral("Sync"), ViewStyle::calloutSize, ToneLabel::Tone::secondary, row);
  caption->setFixedWidth(ParamSlider::labelWidth);
  bpmField_ = new QLineEdit(row);
  bpmField_->setObjectName(QStringLiteral("bpm"));
  bpmField_->setPlaceholderText(QStringLiteral("BPM"));
  bpmField_->setFixedWidth(44);
  bpmField_->setFont(TextDrawing::font(ViewStyle::captionSize));
  bpmField_->setText(bpmText(bpm_));
  connect(bpmField_, &QLineEdit::editingFinished, this, &DelayEditor::commitBPM);

  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(caption);
  layout->addWidget(bpmField_);
  layout->addWidget(new ToneLabel(QStringLiteral("BPM"), ViewStyle::captionSize, ToneLabel::Tone::tertiary, row));
  const Binding<double> time = settings_.field(&DelaySettings::timeMs);
  for (const Note& note : notes) {
    auto* button = new QToolButton(row);
    button->setText(QString::fromUtf8(note.title));
    button->setObjectName(button->text());
    button->setFont(TextDrawing::font(ViewStyle::captionSize));
    connect(button, &QToolButton::clicked, this,
            [this, time, beats = note.beats] {
              // A button takes no focus, so the field may still hold a tempo not yet committed.
              commitBPM();
              time.set(syncedTimeMs(bpm_, beats));
            });
    layout->addWidget(button);
  }
  layout->addStretch(1);
  return row;
}

double DelayEditor::syncedTimeMs(double bpm, double beats) {
  const double tempo = bpm > slowestBPM ? bpm : slowestBPM;
  return quar::clamped(60000 / tempo * beats, 1.0, 4000.0);
}

QString DelayEditor::bpmText(double bpm) {
  const double tenths = std::round(bpm * 10) / 10;
  return QLocale().toString(tenths, 'f', tenths == std::round(tenths) ? 0 : 1);
}

void DelayEditor::commitBPM() {
  bool ok = false;
  const double typed = QLocale().toDouble(bpmField_->text(), &ok);
  // Held as the field shows it, to a tenth.
  const double tenths = std::round(typed * 10) / 10;
  if (ok && std::isfinite(tenths)) bpm_ = tenths;
  bpmField_->setText(bpmText(bpm_));
}

void DelayEditor::refresh() {
  showChecked(pingPong_, settings_.get().pingPong);
  refreshSliders();
}
