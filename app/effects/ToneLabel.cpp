#include "effects/ToneLabel.h"

#include <QApplication>
#include <QEvent>

#include "views/TextDrawing.h"
#include "views/Theme.h"

ToneLabel::ToneLabel(const QString& text, int pixelSize, Tone tone, QWidget* parent)
    : QLabel(text, parent), tone_(tone) {
  setFont(TextDrawing::font(pixelSize));
  applyTone();
}

void ToneLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) applyTone();
}

void ToneLabel::applyTone() {
  const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette();
  QColor color;
  switch (tone_) {
  case Tone::primary: color = Theme::label(base); break;
  case Tone::secondary: color = Theme::secondaryLabel(base); break;
  case Tone::tertiary: color = Theme::tertiaryLabel(base); break;
  }
  if (palette().color(QPalette::WindowText) == color) return;
  QPalette own = palette();
  own.setColor(QPalette::WindowText, color);
  setPalette(own);
}
