#include "inspector/LinearMeterRow.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "inspector/InspectorText.h"
#include "widgets/ToneLabel.h"
#include "widgets/ViewStyle.h"

using Tone = ToneLabel::Tone;
using ViewStyle::TextStyle;

namespace {

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QBrush& brush) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, brush);
}

} // namespace

// The bar: track, level, secondary level, hold mark and target mark, from the leading edge.
class LinearMeterRow::Bar final : public QWidget {
public:
  explicit Bar(LinearMeterRow* row) : QWidget(row), row_(*row) {
    setObjectName(QStringLiteral("meterBar"));
    setFixedHeight(static_cast<int>(barHeight));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();
    const Reading& reading = row_.reading();
    const double lo = row_.lo(), hi = row_.hi();
    fillRounded(painter, QRectF(0, 0, w, h), 3, ViewStyle::quaternary(palette()));

    const QColor color = row_.color_.resolved(palette());
    if (const double level = levelWidth(reading.value, lo, hi, w); level > 0) {
      QLinearGradient gradient(0, 0, level, 0);
      gradient.setColorAt(0, ViewStyle::faded(color, 0.85));
      gradient.setColorAt(0.5, color);
      gradient.setColorAt(1, isHot(reading.value) ? ViewStyle::systemRed.resolved(palette()) : color);
      fillRounded(painter, QRectF(0, 0, level, h), 3, gradient);
    }
    if (reading.secondary)
      if (const double level = levelWidth(*reading.secondary, lo, hi, w); level > 0)
        fillRounded(painter, QRectF(0, (h - 3) / 2, level, 3), 2, QColor(255, 255, 255, 89));
    if (reading.hold) {
      const QColor mark = isHot(*reading.hold) ? ViewStyle::systemRed.resolved(palette())
                                               : ViewStyle::faded(palette().color(QPalette::WindowText), 0.7);
      painter.fillRect(QRectF(w * position(*reading.hold, lo, hi) - 1, 0, 2, h), mark);
    }
    if (reading.marker)
      painter.fillRect(QRectF(w * position(*reading.marker, lo, hi) - 1, 0, 2, h),
                       Theme::loudnessTarget.resolved(palette()));
  }

private:
  const LinearMeterRow& row_;
};

LinearMeterRow::LinearMeterRow(const QString& label, double lo, double hi, const QString& unit, const ThemeColor& color,
                               QWidget* parent)
    : QWidget(parent), lo_(lo), hi_(hi), color_(color) {
  setObjectName(QStringLiteral("meterRow"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  auto* name = new ToneLabel(label, TextStyle::caption, Tone::secondary, this);
  name->setObjectName(QStringLiteral("meterLabel"));
  name->setFixedWidth(72);
  row->addWidget(name);
  bar_ = new Bar(this);
  row->addWidget(bar_, 1);
  value_ = new ToneLabel(valueText(reading_.value), TextStyle::caption, Tone::primary, this);
  value_->setObjectName(QStringLiteral("meterValue"));
  value_->setFixedWidth(36);
  value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row->addWidget(value_);
  auto* units = new ToneLabel(unit, ViewStyle::font(9), Tone::tertiary, this);
  units->setFixedWidth(30);
  row->addWidget(units);
}

double LinearMeterRow::position(double level, double lo, double hi) {
  if (std::isnan(level)) return 0;
  return (std::clamp(level, lo, hi) - lo) / (hi - lo);
}

double LinearMeterRow::levelWidth(double level, double lo, double hi, double width) {
  return std::max(0.0, width * position(level, lo, hi));
}

QWidget* LinearMeterRow::bar() const { return bar_; }

QString LinearMeterRow::valueText(double value) { return InspectorText::loudness(value); }

void LinearMeterRow::setReading(const Reading& reading) {
  if (reading == reading_) return;
  reading_ = reading;
  value_->setText(valueText(reading.value));
  bar_->update();
}
