#include "platform/Icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>

namespace Icons {

QIcon get(const QString& name) {
  const QString path = QStringLiteral(":/resources/icons/") + name + QStringLiteral(".svg");
  return QFile::exists(path) ? QIcon(path) : QIcon();
}

QIcon tinted(const QString& name, const QColor& color) {
  const QIcon source = get(name);
  if (source.isNull()) return {};
  QIcon icon;
  for (const int points : {12, 16, 20, 24, 32})
    for (const qreal ratio : {1.0, 2.0}) {
      QPixmap pixmap = source.pixmap(QSize(points, points), ratio);
      QPainter painter(&pixmap);
      painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
      painter.fillRect(QRectF(0, 0, points, points), color);
      painter.end();
      icon.addPixmap(pixmap);
    }
  return icon;
}

} // namespace Icons
