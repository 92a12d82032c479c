#include "inspector/PanelLabel.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>

PanelLabel::PanelLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(text, parent), tone_(tone) {
  setFont(font);
  applyColor();
}

PanelLabel::PanelLabel(const QString& text, ViewStyle::TextStyle style, Tone tone, QWidget* parent)
    : PanelLabel(text, ViewStyle::font(style), tone, parent) {}

void PanelLabel::setColor(const ThemeColor* color) {
  color_ = color;
  applyColor();
}

QFrame* PanelLabel::divider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setForegroundRole(QPalette::Mid);
  line->setFixedHeight(1);
  return line;
}

void PanelLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) applyColor();
}

void PanelLabel::applyColor() {
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
