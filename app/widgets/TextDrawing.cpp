#include "widgets/TextDrawing.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

namespace TextDrawing {

QFont font(int pixelSize, QFont::Weight weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

QSizeF size(const QFont& font, const QString& text) {
  const QFontMetricsF metrics(font);
  return {metrics.horizontalAdvance(text), metrics.height()};
}

void draw(QPainter& painter, QPointF topLeft, const QString& text) {
  const QFontMetricsF metrics(painter.font());
  painter.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent()), text);
}

void drawCentred(QPainter& painter, QPointF centre, const QString& text) {
  const QSizeF textSize = size(painter.font(), text);
  draw(painter, centre - QPointF(textSize.width() / 2, textSize.height() / 2), text);
}

} // namespace TextDrawing
