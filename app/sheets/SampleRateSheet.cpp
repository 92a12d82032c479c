#include "sheets/SampleRateSheet.h"

#include <QComboBox>
#include <QFormLayout>

#include <algorithm>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "sheets/ExportOptionsModel.h"

SampleRateSheet::SampleRateSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Change Sample Rate"), QStringLiteral("Convert"), window), model_(model),
      rate_(initialRate(model.content().sampleRate())), menu_(new QComboBox(this)) {
  menu_->setObjectName(QStringLiteral("rateMenu"));
  menu_->setAccessibleName(QStringLiteral("New rate"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("New rate"), menu_);
  addContent(form);
  addNote(QStringLiteral("Converts the whole file with a mastering-quality sample-rate converter. Duration and pitch "
                         "are unchanged."));

  connect(menu_, &QComboBox::activated, this, [this](int index) { rate_ = rates.at(static_cast<size_t>(index)); });
  auto* labels = new ObservedRefresh(
      [this] {
        const double current = model_.content().sampleRate();
        menu_->clear();
        for (const double rate : rates) menu_->addItem(rateLabel(rate, current));
        menu_->setCurrentIndex(static_cast<int>(std::ranges::find(rates, rate_) - rates.begin()));
      },
      menu_);
  labels->watch(&model_);
  labels->run();
}

QString SampleRateSheet::rateLabel(double rate, double currentRate) {
  return ExportOptionsModel::rateText(rate) + (rate == currentRate ? QStringLiteral(" (current)") : QString());
}

void SampleRateSheet::apply() { model_.changeSampleRate(rate_); }
