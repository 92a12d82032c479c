#include "widgets/RoundedPanel.h"

#include <QPainter>

#include <utility>

RoundedPanel::RoundedPanel(qreal radius, Fill fill, QWidget* parent)
    : QWidget(parent), radius_(radius), fill_(std::move(fill)) {}

void RoundedPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill_(palette()));
  painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}
