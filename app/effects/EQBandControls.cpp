#include "effects/EQBandControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "effects/EffectEditor.h"
#include "widgets/ParamSlider.h"
#include "effects/SymbolButton.h"
#include "widgets/TextDrawing.h"
#include "widgets/ViewStyle.h"

using quar::EQBand;
using quar::EQBandType;
using Scale = ParamSlider::Scale;

EQBandControls::EQBandControls(Binding<EQBand> band, std::function<void()> remove, QWidget* parent)
    : QWidget(parent), band_(std::move(band)), color_(Theme::red), enabled_(new QCheckBox(QStringLiteral("On"), this)),
      type_(new QComboBox(this)), slope_(new QComboBox(this)),
      remove_(new SymbolButton(QStringLiteral("trash"), 14, {}, this)),
      frequency_(new ParamSlider(QStringLiteral("Frequency"), band_.field(&EQBand::frequency), {20, 20000},
                                 QStringLiteral("Hz"), QStringLiteral("%.0f"), Scale::log, std::nullopt, this)),
      gain_(new ParamSlider(QStringLiteral("Gain"), band_.field(&EQBand::gainDB), {-24, 24}, QStringLiteral("dB"),
                            QStringLiteral("%.1f"), Scale::linear, 0.0, this)),
      q_(new ParamSlider(QStringLiteral("Q"), band_.field(&EQBand::q), {0.1, 18}, {}, QStringLiteral("%.2f"),
                         Scale::log, 1.0, this)) {
  setObjectName(QStringLiteral("bandControls"));
  enabled_->setObjectName(QStringLiteral("enabled"));
  type_->setObjectName(QStringLiteral("type"));
  type_->setFixedWidth(110);
  type_->addItems(caseTitles<EQBandType>());
  slope_->setObjectName(QStringLiteral("slope"));
  slope_->setFixedWidth(100);
  for (const int64_t slope : slopes) slope_->addItem(QStringLiteral("%1 dB/oct").arg(slope));
  remove_->setObjectName(QStringLiteral("remove"));
  remove_->setToolTip(QStringLiteral("Remove band"));
  remove_->setAutoRaise(true);
  frequency_->setObjectName(QStringLiteral("frequency"));
  gain_->setObjectName(QStringLiteral("gainDB"));
  q_->setObjectName(QStringLiteral("q"));
  for (QWidget* control : std::initializer_list<QWidget*>{enabled_, type_, slope_})
    control->setFont(TextDrawing::font(ViewStyle::calloutSize));

  const Binding<bool> isEnabled = band_.field(&EQBand::isEnabled);
  connect(enabled_, &QCheckBox::toggled, this, [isEnabled](bool on) { isEnabled.set(on); });
  const Binding<EQBandType> type = band_.field(&EQBand::type);
  connect(type_, &QComboBox::activated, this,
          [type](int index) { type.set(quar::allCases<EQBandType>()[static_cast<size_t>(index)]); });
  const Binding<int64_t> slope = band_.field(&EQBand::slopeDBPerOctave);
  connect(slope_, &QComboBox::activated, this, [slope](int index) { slope.set(slopes[index]); });
  connect(remove_, &QToolButton::clicked, this, [remove = std::move(remove)] { remove(); });

  auto* header = new QHBoxLayout;
  header->addWidget(enabled_);
  header->addWidget(type_);
  header->addWidget(slope_);
  header->addStretch(1);
  header->addWidget(remove_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(6);
  column->addLayout(header);
  column->addWidget(frequency_);
  column->addWidget(gain_);
  column->addWidget(q_);
}

double EQBandControls::defaultQ(EQBandType type) {
  return type == EQBandType::peak || type == EQBandType::notch ? 1.0 : 0.707;
}

void EQBandControls::refresh(const ThemeColor& color) {
  const EQBand band = band_.get();
  color_ = color;
  update();
  {
    const QSignalBlocker enabledBlocker(enabled_);
    enabled_->setChecked(band.isEnabled);
    const QSignalBlocker typeBlocker(type_);
    type_->setCurrentIndex(caseIndex(band.type));
    const QSignalBlocker slopeBlocker(slope_);
    const auto slope = std::ranges::find(slopes, band.slopeDBPerOctave);
    slope_->setCurrentIndex(slope == std::end(slopes) ? -1 : static_cast<int>(slope - std::begin(slopes)));
  }
  slope_->setVisible(quar::usesSlope(band.type));
  gain_->setVisible(quar::usesGain(band.type));
  q_->setLabel(quar::usesSlope(band.type) ? QStringLiteral("Resonance") : QStringLiteral("Q"));
  q_->setDefaultValue(defaultQ(band.type));
  frequency_->refresh();
  gain_->refresh();
  q_->refresh();
}

void EQBandControls::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(ViewStyle::faded(color_.resolved(palette()), 0.5), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}
