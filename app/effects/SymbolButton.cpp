#include "effects/SymbolButton.h"

#include <QEvent>

#include "platform/Icons.h"

SymbolButton::SymbolButton(const QString& symbol, int pointSize, const QString& title, QWidget* parent)
    : QToolButton(parent), symbol_(symbol) {
  setIconSize(QSize(pointSize, pointSize));
  if (!title.isEmpty()) {
    setText(title);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  tint();
}

void SymbolButton::changeEvent(QEvent* event) {
  QToolButton::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) tint();
}

void SymbolButton::tint() {
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  setIcon(Icons::tinted(symbol_, palette().color(group, QPalette::ButtonText)));
}
