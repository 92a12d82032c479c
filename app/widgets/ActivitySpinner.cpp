#include "widgets/ActivitySpinner.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int spokes = 12;
constexpr int stepMs = 80;

} // namespace

ActivitySpinner::ActivitySpinner(int edge, QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  setFixedSize(edge, edge);
  timer_->setInterval(stepMs);
  connect(timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % spokes;
    update();
  });
}

void ActivitySpinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double radius = std::min(width(), height()) / 2.0;
  painter.translate(width() / 2.0, height() / 2.0);
  QColor color = palette().color(QPalette::WindowText);
  for (int i = 0; i < spokes; ++i) {
    color.setAlphaF(static_cast<float>(0.15 + 0.85 * ((i - step_ + spokes) % spokes) / (spokes - 1)));
    painter.setPen(QPen(color, std::max(1.0, radius / 4), Qt::SolidLine, Qt::RoundCap));
    painter.save();
    painter.rotate(360.0 * i / spokes);
    painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
    painter.restore();
  }
}

void ActivitySpinner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_->start();
}

void ActivitySpinner::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_->stop();
}
