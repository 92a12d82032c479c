#include "effects/EQBandChip.h"

#include <QPainter>

#include <cmath>

#include "effects/EQEditor.h"
#include "widgets/TextDrawing.h"
#include "widgets/ViewStyle.h"

EQBandChip::EQBandChip(QWidget* parent) : QAbstractButton(parent), color_(EQEditor::bandColor(0)) {
  setFixedSize(diameter, diameter);
  setFont(TextDrawing::font(ViewStyle::captionSize, QFont::Bold));
}

void EQBandChip::showBand(size_t index, const quar::EQBand& band, bool selected) {
  setObjectName(QStringLiteral("chip%1").arg(index + 1));
  setText(QString::number(index + 1));
  setToolTip(help(band));
  color_ = EQEditor::bandColor(index);
  enabled_ = band.isEnabled;
  selected_ = selected;
  update();
}

QColor EQBandChip::color() const { return color_.resolved(palette()); }

QString EQBandChip::help(const quar::EQBand& band) {
  return QUtf8StringView(quar::displayName(band.type)).toString() + QLatin1Char(' ') +
         QString::number(std::trunc(band.frequency), 'f', 0) + QStringLiteral(" Hz");
}

void EQBandChip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(1, 1, diameter - 2, diameter - 2);
  painter.setPen(selected_ ? QPen(Theme::label(palette()), 2) : QPen(Qt::NoPen));
  painter.setBrush(ViewStyle::faded(color(), enabled_ ? 0.9 : 0.25));
  painter.drawEllipse(disc);
  painter.setPen(Qt::white);
  const QSizeF size = TextDrawing::size(font(), text());
  TextDrawing::draw(painter, QPointF((diameter - size.width()) / 2, (diameter - size.height()) / 2), text());
}
