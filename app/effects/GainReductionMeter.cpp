#include "effects/GainReductionMeter.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "widgets/ViewStyle.h"
#include "effects/EffectsRack.h"
#include "widgets/ParamSlider.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

namespace {

constexpr int barHeight = 6;
constexpr std::chrono::milliseconds pollInterval{33};

} // namespace

// The capsule track with the filled part at its right end.
class GainReductionMeter::Bar final : public QWidget {
public:
  explicit Bar(QWidget* parent) : QWidget(parent) { setFixedHeight(barHeight); }

  void setFraction(double fraction) {
    if (fraction == fraction_) return;
    fraction_ = fraction;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track(0, 0, width(), height());
    const double radius = height() / 2.0;
    painter.setBrush(Theme::quaternaryLabel(palette()));
    painter.drawRoundedRect(track, radius, radius);
    const double filled = fraction_ * width();
    if (filled <= 0) return;
    painter.setBrush(Theme::orange.resolved(palette()));
    painter.drawRoundedRect(QRectF(width() - filled, 0, filled, height()), radius, radius);
  }

private:
  double fraction_ = 0;
};

GainReductionMeter::GainReductionMeter(EffectsRack* rack, quar::Uuid slotID, bool isPlaying, QWidget* parent)
    : QWidget(parent), rack_(rack), slotID_(slotID), bar_(new Bar(this)),
      value_(new ToneLabel(text(0), ViewStyle::captionSize, ToneLabel::Tone::primary, this)),
      timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("gainReductionMeter"));
  auto* caption = new ToneLabel(QStringLiteral("Reduction"), ViewStyle::captionSize, ToneLabel::Tone::secondary, this);
  caption->setFixedWidth(ParamSlider::labelWidth);
  value_->setObjectName(QStringLiteral("value"));
  value_->setFixedWidth(ParamSlider::valueWidth);
  value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(ParamSlider::columnSpacing);
  row->addWidget(caption);
  row->addWidget(bar_, 1, Qt::AlignVCenter);
  row->addWidget(value_);
  row->addSpacing(ParamSlider::unitWidth);

  timer_->setObjectName(QStringLiteral("meterTimer"));
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(pollInterval);
  connect(timer_, &QTimer::timeout, this, &GainReductionMeter::poll);
  setPlaying(isPlaying);
}

void GainReductionMeter::setPlaying(bool playing) {
  playing_ = playing;
  if (playing) {
    if (!timer_->isActive()) timer_->start();
    poll();
  } else {
    timer_->stop();
    display(0);
  }
}

double GainReductionMeter::fillFraction(std::optional<double> reductionDB) {
  if (!reductionDB) return 0;
  const double fraction = *reductionDB / fullScaleDB;
  if (!(fraction > 0)) return 0;
  return std::min(fraction, 1.0);
}

QString GainReductionMeter::text(double reductionDB) { return QString::asprintf("%.1f dB", reductionDB); }

void GainReductionMeter::poll() {
  const std::optional<float> reduction = rack_ ? rack_->gainReduction(slotID_) : std::nullopt;
  display(reduction && !std::isnan(*reduction) ? *reduction : 0.0);
}

void GainReductionMeter::display(double reductionDB) {
  reduction_ = reductionDB;
  bar_->setFraction(fillFraction(reductionDB));
  value_->setText(text(reductionDB));
}
