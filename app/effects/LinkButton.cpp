#include "effects/LinkButton.h"

#include <QPainter>

#include <cmath>

#include "widgets/TextDrawing.h"
#include "widgets/ViewStyle.h"

LinkButton::LinkButton(const QString& title, int pixelSize, QWidget* parent) : QAbstractButton(parent) {
  setText(title);
  setFont(TextDrawing::font(pixelSize));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
}

QSize LinkButton::sizeHint() const {
  const QSizeF size = TextDrawing::size(font(), text());
  return {static_cast<int>(std::ceil(size.width())) + 2, static_cast<int>(std::ceil(size.height()))};
}

void LinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor color = palette().color(QPalette::Link);
  if (!isEnabled()) color = ViewStyle::withAlpha(color, 0.4);
  if (isDown()) color = color.darker(130);
  painter.setPen(color);
  painter.setFont(font());
  const QSizeF size = TextDrawing::size(font(), text());
  TextDrawing::draw(painter, QPointF(1, (height() - size.height()) / 2), text());
}
