#include "sheets/NormalizeSheet.h"

#include <QCheckBox>

#include "editor/EditorModel.h"
#include "widgets/ParamSlider.h"
#include "platform/ObservedRefresh.h"

namespace {

const QString targetFormat = QStringLiteral("%.1f");

} // namespace

NormalizeSheet::NormalizeSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Normalize Peak"), QStringLiteral("Normalize"), window), model_(model),
      independentToggle_(new QCheckBox(QStringLiteral("Normalize each channel independently"), this)) {
  auto* target = new ParamSlider(QStringLiteral("Peak level"), shownBinding(target_, targetFormat), {-24, 0},
                                 QStringLiteral("dBFS"), targetFormat, ParamSlider::Scale::linear, std::nullopt, this);
  target->setObjectName(QStringLiteral("targetSlider"));
  addContent(target);
  independentToggle_->setObjectName(QStringLiteral("independentToggle"));
  addContent(independentToggle_);
  addNote(QStringLiteral("To match perceived loudness (LUFS) instead of peak level, use Process \u25B8 Loudness."));
  addScopeLine(model);

  connect(independentToggle_, &QCheckBox::toggled, this, [this](bool on) { independent_ = on; });
  auto* channels = new ObservedRefresh(
      [this] { independentToggle_->setEnabled(model_.content().channelCount() >= 2); }, independentToggle_);
  channels->watch(&model_);
  channels->run();
}

void NormalizeSheet::apply() { model_.normalizePeak(target_, independent_); }
