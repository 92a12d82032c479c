#include "widgets/ViewStyle.h"

#include <QEvent>
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
  return Theme::readable(withAlpha(palette.color(QPalette::WindowText), Theme::isDark(palette) ? 0.55 : 0.5),
                         palette.color(QPalette::Window));
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

namespace {

// Keeps a widget's enabled text in the destructive colour of its current palette.
class DestructiveText final : public QObject {
public:
  explicit DestructiveText(QWidget* widget) : QObject(widget), widget_(widget) {
    apply();
    widget->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_ && event->type() == QEvent::PaletteChange) apply();
    return false;
  }

private:
  void apply() {
    QPalette palette = widget_->palette();
    const QColor red = destructive.resolved(palette);
    if (palette.color(QPalette::Active, QPalette::ButtonText) == red) return;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
      for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(group, role, red);
    widget_->setPalette(palette);
  }

  QWidget* widget_;
};

} // namespace

void setDestructive(QWidget* widget) { new DestructiveText(widget); }

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
