#include "widgets/ViewStyle.h"

#include <QFontDatabase>
#include <QFrame>
#include <QToolButton>

#include "platform/Icons.h"
#include "widgets/TextDrawing.h"

namespace ViewStyle {

QFont font(TextStyle style) {
  switch (style) {
  case TextStyle::headline: return font(13, QFont::Bold);
  case TextStyle::body: return font(13);
  case TextStyle::callout: return font(12);
  case TextStyle::small: return font(11);
  case TextStyle::caption: return font(10);
  }
  return font(13);
}

QFont font(int pixelSize, QFont::Weight weight, bool monospaced) {
  if (!monospaced) return TextDrawing::font(pixelSize, weight);
  QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  result.setPixelSize(pixelSize);
  result.setWeight(weight);
  return result;
}

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

QColor faded(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
  return color;
}

QColor secondary(const QPalette& palette) {
  return withAlpha(palette.color(QPalette::WindowText), Theme::isDark(palette) ? 0.55 : 0.5);
}

QColor quaternary(const QPalette& palette) {
  return withAlpha(palette.color(QPalette::WindowText), Theme::isDark(palette) ? 0.18 : 0.1);
}

void setForeground(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  palette.setColor(QPalette::ButtonText, color);
  widget->setPalette(palette);
}

QFrame* divider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setForegroundRole(QPalette::Mid);
  line->setFixedHeight(1);
  return line;
}

QToolButton* iconButton(const QString& symbol, const QString& help, int width, int height, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(width, height);
  button->setIconSize(QSize(16, 16));
  button->setToolTip(help);
  button->setIcon(Icons::tinted(symbol));
  return button;
}

} // namespace ViewStyle
