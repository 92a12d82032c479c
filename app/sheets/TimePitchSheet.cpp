#include "sheets/TimePitchSheet.h"

#include <QHBoxLayout>
#include <QLabel>

#include "base/Numbers.h"
#include "editor/EditorModel.h"
#include "widgets/ParamSlider.h"
#include "platform/ObservedRefresh.h"
#include "support/TimeFormat.h"
#include "widgets/ToneLabel.h"
#include "widgets/ViewStyle.h"

namespace {

const QString tempoFormat = QStringLiteral("%.1f");
const QString pitchFormat = QStringLiteral("%.0f");

} // namespace

TimePitchSheet::TimePitchSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Time & Pitch"), QStringLiteral("Apply"), window), model_(model),
      length_(new QLabel(this)) {
  auto* tempo = new ParamSlider(QStringLiteral("Tempo"), shownBinding(tempoPercent_, tempoFormat, [this] { showLength(); }),
                                {25, 400}, QStringLiteral("%"), tempoFormat, ParamSlider::Scale::log, 100, this);
  tempo->setObjectName(QStringLiteral("tempoSlider"));
  addContent(tempo);

  auto* row = new QHBoxLayout;
  row->setSpacing(ParamSlider::columnSpacing);
  auto* title = new ToneLabel(QStringLiteral("Length"), ViewStyle::calloutSize, ToneLabel::Tone::secondary, this);
  title->setFixedWidth(ParamSlider::labelWidth);
  row->addWidget(title);
  length_->setObjectName(QStringLiteral("lengthText"));
  length_->setFont(ViewStyle::font(ViewStyle::calloutSize, QFont::Normal, true));
  row->addWidget(length_, 1);
  addContent(row);

  auto* pitch = new ParamSlider(QStringLiteral("Pitch"), shownBinding(semitones_, pitchFormat), {-24, 24}, QStringLiteral("st"),
                                pitchFormat, ParamSlider::Scale::linear, 0, this);
  pitch->setObjectName(QStringLiteral("pitchSlider"));
  addContent(pitch);
  auto* fine = new ParamSlider(QStringLiteral("Fine"), shownBinding(cents_, pitchFormat), {-100, 100}, QStringLiteral("ct"),
                               pitchFormat, ParamSlider::Scale::linear, 0, this);
  fine->setObjectName(QStringLiteral("fineSlider"));
  addContent(fine);
  addNote(QStringLiteral("Tempo and pitch are independent: change speed without affecting pitch, or transpose "
                         "without changing length."));

  // The length follows the selection and the content as well as the tempo.
  auto* length = new ObservedRefresh([this] { showLength(); }, length_);
  length->watch(&model_);
  length->run();
}

int64_t TimePitchSheet::outputFrames(int64_t frames, double tempoPercent) {
  return quar::roundedInt(static_cast<double>(frames) / (tempoPercent / 100));
}

QString TimePitchSheet::lengthText(int64_t frames, double sampleRate) {
  return durationString(frames, sampleRate);
}

QString TimePitchSheet::lengthLine(int64_t frames, double tempoPercent, double sampleRate) {
  return lengthText(frames, sampleRate) + QStringLiteral(" \u2192 ") +
         lengthText(outputFrames(frames, tempoPercent), sampleRate);
}

void TimePitchSheet::apply() { model_.timePitch(tempoPercent_ / 100, semitones_ * 100 + cents_); }

void TimePitchSheet::showLength() {
  const quar::AudioContent& content = model_.content();
  const std::optional<quar::FrameRange> selection = model_.selection();
  const int64_t frames = selection ? selection->count() : content.frameCount();
  length_->setText(lengthLine(frames, tempoPercent_, content.sampleRate()));
}
