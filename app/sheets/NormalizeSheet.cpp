#include "sheets/NormalizeSheet.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "support/FixedText.h"
#include "views/ViewStyle.h"

namespace {

// Slider steps per dB.
constexpr int stepsPerDB = 10;

QString valueText(double target) { return fixedText(target, 1) + QStringLiteral(" dBFS"); }

} // namespace

NormalizeSheet::NormalizeSheet(EditorModel& model, QWidget* window)
    : SheetContainer(QStringLiteral("Normalize Peak"), QStringLiteral("Normalize"), window), model_(model),
      slider_(new QSlider(Qt::Horizontal, this)), value_(new QLabel(valueText(target_), this)),
      independentToggle_(new QCheckBox(QStringLiteral("Normalize each channel independently"), this)) {
  slider_->setObjectName(QStringLiteral("targetSlider"));
  slider_->setRange(-24 * stepsPerDB, 0);
  slider_->setValue(static_cast<int>(target_ * stepsPerDB));
  value_->setObjectName(QStringLiteral("targetValue"));
  value_->setFont(ViewStyle::font(13, QFont::Normal, true));
  value_->setFixedWidth(70);
  value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Peak level"), this));
  row->addWidget(slider_, 1);
  row->addWidget(value_);
  addContent(row);
  independentToggle_->setObjectName(QStringLiteral("independentToggle"));
  addContent(independentToggle_);
  addNote(QStringLiteral("To match perceived loudness (LUFS) instead of peak level, use Process \u25B8 Loudness."));
  addScopeLine(model);

  connect(slider_, &QSlider::valueChanged, this, [this](int step) {
    target_ = static_cast<double>(step) / stepsPerDB;
    value_->setText(valueText(target_));
  });
  connect(independentToggle_, &QCheckBox::toggled, this, [this](bool on) { independent_ = on; });
  auto* channels = new ObservedRefresh(
      [this] { independentToggle_->setEnabled(model_.content().channelCount() >= 2); }, independentToggle_);
  channels->watch(&model_);
  channels->run();
}

void NormalizeSheet::apply() { model_.normalizePeak(target_, independent_); }
