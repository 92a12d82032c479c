#include "views/CompactMeters.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"
#include "platform/ObservedRefresh.h"
#include "support/FixedText.h"
#include "widgets/ViewStyle.h"

namespace {

constexpr double barHeight = 5;
constexpr double barSpacing = 2;

} // namespace

// The bars, stacked and centred vertically, each a capsule track with the level in front.
class CompactMeters::Bars final : public QWidget {
public:
  explicit Bars(CompactMeters* meters) : QWidget(meters), meters_(*meters) {
    setObjectName(QStringLiteral("meterBars"));
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const std::vector<double>& levels = meters_.levels();
    const double count = static_cast<double>(levels.size());
    double y = (height() - (count * barHeight + std::max(count - 1, 0.0) * barSpacing)) / 2;
    const double radius = barHeight / 2;
    const QColor track = ViewStyle::quaternary(palette());
    for (const double db : levels) {
      painter.setBrush(track);
      painter.drawRoundedRect(QRectF(0, y, width(), barHeight), radius, radius);
      const double filled = fillFraction(db) * width();
      if (filled > 0) {
        painter.setBrush(levelColor(db).resolved(palette()));
        painter.drawRoundedRect(QRectF(0, y, filled, barHeight), std::min(radius, filled / 2), radius);
      }
      y += barHeight + barSpacing;
    }
  }

private:
  const CompactMeters& meters_;
};

CompactMeters::CompactMeters(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), bars_(new Bars(this)), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("compactMeters"));
  auto* layout = new QHBoxLayout(this);
  layout->setSpacing(6);
  layout->setContentsMargins(0, 0, 0, 0);
  loudness_ = new QLabel(this);
  loudness_->setObjectName(QStringLiteral("loudnessText"));
  loudness_->setFont(ViewStyle::font(10, QFont::Medium));
  loudness_->setFixedWidth(30);
  loudness_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  loudness_->setToolTip(QStringLiteral("Momentary loudness (LUFS)"));
  ViewStyle::setForeground(loudness_, ViewStyle::secondary(palette()));
  layout->addWidget(bars_, 1);
  layout->addWidget(loudness_);
  observer_->watch(model_);
  observer_->watch(&model_->transport());
  observer_->run();
}

int CompactMeters::barCount(int channelCount) { return std::clamp(channelCount, 0, 2); }

double CompactMeters::level(const MeterReading& meter, int channel) {
  return channel >= 0 && static_cast<size_t>(channel) < meter.peakDB.size() ? meter.peakDB[static_cast<size_t>(channel)]
                                                                            : -120.0;
}

double CompactMeters::fillFraction(double db) {
  if (!(db > -60)) return 0;
  return (std::min(db, 0.0) + 60) / 60;
}

const ThemeColor& CompactMeters::levelColor(double db) {
  if (db > -1) return ViewStyle::systemRed;
  if (db > -9) return ViewStyle::systemYellow;
  return Theme::waveform;
}

QString CompactMeters::loudnessText(bool playing, double momentaryLUFS) {
  if (!playing) return QStringLiteral("\u2014");
  if (std::isfinite(momentaryLUFS) && momentaryLUFS > -100) return fixedText(momentaryLUFS, 1);
  return QStringLiteral("\u2013\u221E");
}

void CompactMeters::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ViewStyle::setForeground(loudness_, ViewStyle::secondary(palette()));
}

void CompactMeters::refresh() {
  const MeterReading& meter = model_->transport().meter();
  levels_.clear();
  for (int c = 0; c < barCount(model_->content().channelCount()); ++c) levels_.push_back(level(meter, c));
  loudness_->setText(loudnessText(model_->transport().isPlaying(), meter.momentaryLUFS));
  bars_->update();
}
