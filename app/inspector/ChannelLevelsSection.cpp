#include "inspector/ChannelLevelsSection.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"
#include "inspector/InspectorText.h"
#include "platform/ObservedRefresh.h"
#include "widgets/ToneLabel.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

namespace {

constexpr int stepsPerDB = 10;
constexpr double maxTrimDB = 24;
constexpr double hintSpreadLU = 1.5;

} // namespace

ChannelLevelsSection::ChannelLevelsSection(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("channelLevels"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);

  auto* header = new QHBoxLayout;
  header->addWidget(new ToneLabel(QStringLiteral("Channels"), TextStyle::headline, Tone::primary, this));
  header->addStretch(1);
  link_ = new QCheckBox(QStringLiteral("Link"), this);
  link_->setObjectName(QStringLiteral("linkChannels"));
  link_->setToolTip(QStringLiteral("Move all channel sliders together"));
  connect(link_, &QCheckBox::toggled, this, [this](bool on) { model_->loudnessSettings().setLinkChannelLevels(on); });
  header->addWidget(link_);
  column->addLayout(header);

  rows_ = new QVBoxLayout;
  rows_->setSpacing(8);
  column->addLayout(rows_);

  auto* buttons = new QHBoxLayout;
  balance_ = new QPushButton(QStringLiteral("Balance Channels"), this);
  balance_->setObjectName(QStringLiteral("balanceChannels"));
  balance_->setToolTip(QStringLiteral("Trim each channel so they all measure the same loudness"));
  balance_->setFont(ViewStyle::font(TextStyle::small));
  connect(balance_, &QPushButton::clicked, this, [this] { model_->balanceChannels(); });
  buttons->addWidget(balance_);
  reset_ = new QPushButton(QStringLiteral("Reset"), this);
  reset_->setObjectName(QStringLiteral("resetTrims"));
  reset_->setFont(ViewStyle::font(TextStyle::small));
  connect(reset_, &QPushButton::clicked, this, [this] { model_->resetChannelTrims(); });
  buttons->addWidget(reset_);
  buttons->addStretch(1);
  column->addLayout(buttons);

  hint_ = new ToneLabel(QString(), TextStyle::caption, Tone::primary, this);
  hint_->setObjectName(QStringLiteral("spreadHint"));
  hint_->setColor(&ViewStyle::systemOrange);
  hint_->setWordWrap(true);
  column->addWidget(hint_);

  observer_->watch(model_);

  observer_->watch(&model_->loudnessSettings());
  observer_->watch(&model_->analysis());
  observer_->run();
}

QString ChannelLevelsSection::loudnessText(const std::vector<double>& channelLoudness, int channel) {
  if (channel < 0 || static_cast<size_t>(channel) >= channelLoudness.size()) return InspectorText::notMeasured;
  return InspectorText::loudness(channelLoudness[static_cast<size_t>(channel)]);
}

std::optional<double> ChannelLevelsSection::spread(const std::vector<double>& channelLoudness) {
  std::vector<double> finite;
  std::copy_if(channelLoudness.begin(), channelLoudness.end(), std::back_inserter(finite),
               [](double v) { return std::isfinite(v); });
  if (finite.size() < 2) return std::nullopt;
  const auto [low, high] = std::minmax_element(finite.begin(), finite.end());
  return *high - *low;
}

QString ChannelLevelsSection::spreadHint(std::optional<double> spread) {
  if (!spread || !(*spread > hintSpreadLU)) return {};
  return QStringLiteral("Channels differ by ") + InspectorText::fixed(*spread, 1) +
         QStringLiteral(" LU — Balance evens them out.");
}

quar::EnvelopeSet ChannelLevelsSection::trimmed(const quar::EnvelopeSet& envelopes, int channel, double db, bool link,
                                                int channelCount) {
  const double change = db - envelopes.trim(channel);
  quar::EnvelopeSet result = envelopes;
  for (int c = 0; c < channelCount; ++c)
    if (c == channel || link) result.setTrim(c, result.trim(c) + change, channelCount);
  return result;
}

void ChannelLevelsSection::rebuildRows(int channelCount) {
  for (QWidget* row : rowWidgets_) delete row;
  rowWidgets_.clear();
  sliders_.clear();
  loudness_.clear();
  trims_.clear();
  editOrigin_.reset();
  for (int c = 0; c < channelCount; ++c) {
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("channelRow"));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    auto* name = new ToneLabel(model_->channelName(c), ViewStyle::font(12, QFont::DemiBold), Tone::primary, row);
    name->setFixedWidth(30);
    line->addWidget(name);
    auto* measured = new QWidget(row);
    measured->setFixedWidth(44);
    auto* stack = new QVBoxLayout(measured);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    auto* value = new ToneLabel(QString(), TextStyle::callout, Tone::primary, measured);
    value->setObjectName(QStringLiteral("channelLoudness"));
    stack->addWidget(value);
    stack->addWidget(new ToneLabel(QStringLiteral("LUFS"), ViewStyle::font(9), Tone::tertiary, measured));
    line->addWidget(measured);
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setObjectName(QStringLiteral("trimSlider"));
    slider->setAccessibleName(model_->channelName(c));
    slider->setRange(static_cast<int>(-maxTrimDB * stepsPerDB), static_cast<int>(maxTrimDB * stepsPerDB));
    slider->setPageStep(stepsPerDB);
    connect(slider, &QSlider::sliderPressed, this, [this] { editOrigin_ = model_->envelopes(); });
    connect(slider, &QSlider::valueChanged, this, [this, c](int position) { sliderMoved(c, position); });
    connect(slider, &QSlider::sliderReleased, this, [this] { dragEnded(); });
    line->addWidget(slider, 1);
    auto* trim = new ToneLabel(QString(), TextStyle::callout, Tone::primary, row);
    trim->setObjectName(QStringLiteral("trimValue"));
    trim->setFixedWidth(58);
    trim->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    line->addWidget(trim);
    rows_->addWidget(row);
    rowWidgets_.push_back(row);
    sliders_.push_back(slider);
    loudness_.push_back(value);
    trims_.push_back(trim);
  }
}

void ChannelLevelsSection::sliderMoved(int channel, int position) {
  const bool dragging = sliders_[static_cast<size_t>(channel)]->isSliderDown();
  // A step by keyboard or wheel is an edit of its own.
  const quar::EnvelopeSet origin = model_->envelopes();
  model_->setEnvelopes(trimmed(origin, channel, static_cast<double>(position) / stepsPerDB,
                               model_->loudnessSettings().linkChannelLevels(), model_->content().channelCount()));
  if (!dragging) model_->endChannelTrimEdit(origin);
}

void ChannelLevelsSection::dragEnded() {
  if (!editOrigin_) return;
  const quar::EnvelopeSet origin = std::move(*editOrigin_);
  editOrigin_.reset();
  model_->endChannelTrimEdit(origin);
}

void ChannelLevelsSection::refresh() {
  const int channels = model_->content().channelCount();
  if (static_cast<int>(sliders_.size()) != channels) rebuildRows(channels);
  const std::vector<double>& measured = model_->analysis().channelLoudness();
  const quar::EnvelopeSet& envelopes = model_->envelopes();
  const bool editable = model_->canChangeDocument();
  // A drag cut short by a job or a take ends after this refresh; the model refuses it.
  if (!editable && editOrigin_) QMetaObject::invokeMethod(this, &ChannelLevelsSection::dragEnded, Qt::QueuedConnection);
  const QSignalBlocker blockLink(link_);
  link_->setChecked(model_->loudnessSettings().linkChannelLevels());
  for (int c = 0; c < channels; ++c) {
    const auto i = static_cast<size_t>(c);
    loudness_[i]->setText(loudnessText(measured, c));
    const double trim = envelopes.trim(c);
    const QSignalBlocker blockSlider(sliders_[i]);
    sliders_[i]->setValue(static_cast<int>(std::lround(trim * stepsPerDB)));
    sliders_[i]->setEnabled(editable);
    trims_[i]->setText(InspectorText::signedFixed(trim, 1) + QStringLiteral(" dB"));
  }
  balance_->setEnabled(editable && measured.size() == static_cast<size_t>(channels));
  reset_->setEnabled(editable);
  const QString hint = spreadHint(spread(measured));
  hint_->setText(hint);
  hint_->setVisible(!hint.isEmpty());
}
