#include "widgets/ToneLabel.h"

#include <QApplication>
#include <QEvent>

ToneLabel::ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(text, parent), tone_(tone) {
  setFont(font);
  applyColor();
}

ToneLabel::ToneLabel(const QString& text, ViewStyle::TextStyle style, Tone tone, QWidget* parent)
    : ToneLabel(text, ViewStyle::font(style), tone, parent) {}

ToneLabel::ToneLabel(const QString& text, int pixelSize, Tone tone, QWidget* parent)
    : ToneLabel(text, ViewStyle::font(pixelSize), tone, parent) {}

void ToneLabel::setColor(const ThemeColor* color) {
  color_ = color;
  applyColor();
}

void ToneLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) applyColor();
}

void ToneLabel::applyColor() {
  const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette();
  QColor color = base.color(QPalette::WindowText);
  if (color_)
    color = color_->resolved(base);
  else if (tone_ == Tone::secondary)
    color = ViewStyle::secondary(base);
  else if (tone_ == Tone::tertiary)
    color = Theme::tertiaryLabel(base);
  if (palette().color(QPalette::WindowText) != color) ViewStyle::setForeground(this, color);
}
