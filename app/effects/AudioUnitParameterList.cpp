#include "effects/AudioUnitParameterList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "widgets/ViewStyle.h"
#include "effects/LinkButton.h"
#include "widgets/ParamSlider.h"
#include "widgets/TextDrawing.h"
#include "widgets/ToneLabel.h"

using quar::AUParameterInfo;

namespace {

constexpr int rowSpacing = 6;
constexpr int64_t intLimit = std::numeric_limits<int>::max();

QString text(const std::string& value) { return QString::fromStdString(value); }

// One parameter's control. `value` is the row's working value, written to the plug-in on every
// change the user makes; the control is chosen by the parameter's kind.
class AUParameterRow final : public QWidget {
public:
  AUParameterRow(const AUParameterInfo& info, std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent)
      : QWidget(parent), info_(info), effect_(std::move(effect)),
        value_(effect_->parameterValue(info.address).value_or(info.value)) {
    setObjectName(text(info.identifier));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (info.isIndexed() && info.valueStrings && !info.valueStrings->empty())
      layout->addWidget(makeMenu(), 1);
    else if (info.isBoolean())
      layout->addWidget(makeToggle(), 1);
    else if (info.maxValue > info.minValue)
      layout->addWidget(makeSlider(), 1);
    else
      isEmpty_ = true;  // an empty or inverted range: nothing to edit
  }

  bool isEmpty() const { return isEmpty_; }

private:
  QWidget* makeMenu() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new ToneLabel(text(info_.name), ViewStyle::calloutSize, ToneLabel::Tone::primary, row);
    title->setFixedWidth(ParamSlider::labelWidth);  // in line with the sliders' labels
    layout->addWidget(title);
    auto* menu = new QComboBox(row);
    menu->setObjectName(QStringLiteral("menu"));
    menu->setFont(TextDrawing::font(ViewStyle::calloutSize));
    for (const std::string& entry : *info_.valueStrings) menu->addItem(text(entry));
    // Entry i stands for the integer part of the minimum plus i.
    const int64_t first = quar::clampedInt(info_.minValue, -intLimit, intLimit);
    const int64_t chosen = std::isfinite(value_) ? quar::clampedInt(std::round(value_), -intLimit, intLimit) - first : -1;
    menu->setCurrentIndex(chosen >= 0 && chosen < menu->count() ? static_cast<int>(chosen) : -1);
    connect(menu, &QComboBox::activated, this,
            [this, first](int index) { write(static_cast<double>(first + index)); });
    layout->addWidget(menu, 1);
    return row;
  }

  QWidget* makeToggle() {
    auto* toggle = new QCheckBox(text(info_.name), this);
    toggle->setObjectName(QStringLiteral("toggle"));
    toggle->setFont(TextDrawing::font(ViewStyle::calloutSize));
    toggle->setChecked(value_ >= 0.5);
    connect(toggle, &QCheckBox::toggled, this, [this](bool on) { write(on ? 1 : 0); });
    return toggle;
  }

  QWidget* makeSlider() {
    const double lower = info_.minValue;
    const double upper = info_.maxValue;
    const bool log = lower > 0 && info_.prefersLogarithmicDisplay;
    auto* slider = new ParamSlider(text(info_.name),
                                   Binding<double>([this] { return value_; }, [this](const double& v) { write(v); }),
                                   {lower, upper}, text(info_.unitName),
                                   upper - lower >= 100 ? QStringLiteral("%.0f") : QStringLiteral("%.2f"),
                                   log ? ParamSlider::Scale::log : ParamSlider::Scale::linear, std::nullopt, this);
    slider->setObjectName(QStringLiteral("slider"));
    return slider;
  }

  // The plug-in never receives a value that is not finite, nor an unchanged one.
  void write(double value) {
    if (!std::isfinite(value) || value == value_) return;
    value_ = value;
    effect_->setParameter(info_.address, static_cast<float>(value));
  }

  AUParameterInfo info_;
  std::shared_ptr<quar::AudioUnitEffect> effect_;
  double value_;
  bool isEmpty_ = false;
};

} // namespace

AudioUnitParameterList::AudioUnitParameterList(std::shared_ptr<quar::AudioUnitEffect> effect, QWidget* parent)
    : QWidget(parent), effect_(std::move(effect)), filter_(new QLineEdit(this)), rows_(new QVBoxLayout),
      showAllButton_(new LinkButton({}, ViewStyle::captionSize, this)),
      empty_(new ToneLabel(QStringLiteral("This plug-in exposes no parameters."), ViewStyle::captionSize,
                           ToneLabel::Tone::secondary, this)) {
  setObjectName(QStringLiteral("parameterList"));
  filter_->setObjectName(QStringLiteral("parameterFilter"));
  filter_->setPlaceholderText(QStringLiteral("Filter parameters"));
  filter_->setFont(TextDrawing::font(ViewStyle::captionSize));
  showAllButton_->setObjectName(QStringLiteral("showAll"));
  empty_->setObjectName(QStringLiteral("noParameters"));
  connect(filter_, &QLineEdit::textChanged, this, &AudioUnitParameterList::updateRows);
  connect(showAllButton_, &LinkButton::clicked, this, [this] {
    showAll_ = !showAll_;
    updateRows();
  });
  rows_->setContentsMargins(0, 0, 0, 0);
  rows_->setSpacing(rowSpacing);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(rowSpacing);
  column->setAlignment(Qt::AlignTop);
  column->addWidget(filter_);
  column->addLayout(rows_);
  column->addWidget(showAllButton_, 0, Qt::AlignLeft);
  column->addWidget(empty_);
  updateRows();
}

std::vector<uint64_t> AudioUnitParameterList::visible(const std::vector<AUParameterInfo>& parameters,
                                                      const QString& filter, bool showAll) {
  std::vector<uint64_t> shown;
  for (const AUParameterInfo& info : parameters) {
    if (!info.isWritable) continue;
    if (!filter.isEmpty() && !text(info.name).contains(filter, Qt::CaseInsensitive) &&
        !text(info.keyPath).contains(filter, Qt::CaseInsensitive))
      continue;
    shown.push_back(info.address);
  }
  if (!showAll && filter.isEmpty() && shown.size() > collapsedRows) shown.resize(collapsedRows);
  return shown;
}

QString AudioUnitParameterList::showAllTitle(bool showAll, size_t writableCount) {
  return showAll ? QStringLiteral("Show fewer") : QStringLiteral("Show all %1 parameters").arg(writableCount);
}

void AudioUnitParameterList::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) load();
}

void AudioUnitParameterList::load() {
  for (QWidget* row : rowWidgets_) delete row;
  rowWidgets_.clear();
  showAll_ = false;
  {
    const QSignalBlocker blocker(filter_);
    filter_->clear();
  }
  parameters_ = effect_->parameters();
  for (const AUParameterInfo& info : parameters_) {
    if (!info.isWritable) continue;
    auto* row = new AUParameterRow(info, effect_, this);
    rows_->addWidget(row);
    rowWidgets_.push_back(row);
  }
  updateRows();
}

void AudioUnitParameterList::updateRows() {
  const size_t writable = rowWidgets_.size();
  const bool isLong = writable > collapsedRows;
  filter_->setVisible(isLong);
  const QString filter = isLong ? filter_->text() : QString();
  showAllButton_->setVisible(isLong && filter.isEmpty());
  showAllButton_->setText(showAllTitle(showAll_, writable));
  showAllButton_->updateGeometry();
  empty_->setVisible(parameters_.empty());
  const std::vector<uint64_t> shown = visible(parameters_, filter, showAll_);
  size_t row = 0;
  for (const AUParameterInfo& info : parameters_) {
    if (!info.isWritable) continue;
    auto* widget = static_cast<AUParameterRow*>(rowWidgets_[row++]);
    widget->setVisible(!widget->isEmpty() && std::ranges::find(shown, info.address) != shown.end());
  }
}
