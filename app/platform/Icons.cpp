#include "platform/Icons.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

#include <memory>

namespace {

QString pathOf(const QString& name) { return QStringLiteral(":/resources/icons/") + name + QStringLiteral(".svg"); }

// Renders the SVG at the requested size and paints every covered pixel in one colour; an
// invalid colour stands for the palette's button text.
class TintedIconEngine final : public QIconEngine {
public:
  TintedIconEngine(const QString& path, const QColor& color)
      : renderer_(std::make_shared<QSvgRenderer>(path)), color_(color) {}

  QIconEngine* clone() const override { return new TintedIconEngine(*this); }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    QPixmap pixmap(size * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer_->render(&painter, QRectF(QPointF(), QSizeF(size)));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    QColor color = color_.isValid() ? color_ : QApplication::palette().color(QPalette::ButtonText);
    if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35f);
    painter.fillRect(QRectF(QPointF(), QSizeF(size)), color);
    return pixmap;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

private:
  std::shared_ptr<QSvgRenderer> renderer_;
  QColor color_;
};

} // namespace

namespace Icons {

QIcon get(const QString& name) {
  const QString path = pathOf(name);
  return QFile::exists(path) ? QIcon(path) : QIcon();
}

QIcon tinted(const QString& name, const QColor& color) {
  const QString path = pathOf(name);
  return QFile::exists(path) ? QIcon(new TintedIconEngine(path, color)) : QIcon();
}

} // namespace Icons
