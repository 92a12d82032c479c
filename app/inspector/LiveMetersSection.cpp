#include "inspector/LiveMetersSection.h"

#include <QVBoxLayout>

#include <algorithm>

#include "editor/EditorModel.h"
#include "inspector/LinearMeterRow.h"
#include "platform/ObservedRefresh.h"
#include "widgets/ToneLabel.h"

LiveMetersSection::LiveMetersSection(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("liveMeters"));
  column_ = new QVBoxLayout(this);
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(8);
  column_->addWidget(
      new ToneLabel(QStringLiteral("Live"), ViewStyle::TextStyle::headline, ToneLabel::Tone::primary, this));
  momentary_ =
      new LinearMeterRow(QStringLiteral("Momentary"), -54, 0, QStringLiteral("LUFS"), Theme::loudnessShortTerm, this);
  shortTerm_ =
      new LinearMeterRow(QStringLiteral("Short-term"), -54, 0, QStringLiteral("LUFS"), Theme::loudnessShortTerm, this);
  column_->addWidget(momentary_);
  column_->addWidget(shortTerm_);
  observer_->watch(model_);
  observer_->watch(&model_->loudnessSettings());
  observer_->watch(&model_->transport());
  observer_->run();
}

std::vector<LinearMeterRow*> LiveMetersSection::rows() const {
  std::vector<LinearMeterRow*> all{momentary_, shortTerm_};
  all.insert(all.end(), channels_.begin(), channels_.end());
  return all;
}

void LiveMetersSection::refresh() {
  const MeterReading& meter = model_->transport().meter();
  const double target = model_->loudnessSettings().targetLUFS();
  momentary_->setReading({meter.momentaryLUFS, target, std::nullopt, std::nullopt});
  shortTerm_->setReading({meter.shortTermLUFS, target, std::nullopt, std::nullopt});

  const int channels = model_->content().channelCount();
  const auto metered = static_cast<size_t>(std::min<int64_t>(channels, static_cast<int64_t>(meter.peakDB.size())));
  if (channels_.size() != metered || namedFor_ != channels) {
    namedFor_ = channels;
    for (LinearMeterRow* row : channels_) delete row;
    channels_.clear();
    for (size_t c = 0; c < metered; ++c) {
      auto* row = new LinearMeterRow(QStringLiteral("Peak ") + model_->channelName(static_cast<int>(c)), -60, 0,
                                     QStringLiteral("dBFS"), Theme::waveform, this);
      column_->addWidget(row);
      channels_.push_back(row);
    }
  }
  // A hold or RMS figure missing from the reading is left out of its row.
  const auto entry = [](const std::vector<double>& values, size_t c) {
    return c < values.size() ? std::optional<double>(values[c]) : std::nullopt;
  };
  for (size_t c = 0; c < metered; ++c)
    channels_[c]->setReading({meter.peakDB[c], std::nullopt, entry(meter.holdDB, c), entry(meter.rmsDB, c)});
}
