#include "platform/Icons.h"

#include <QFile>

namespace Icons {

QIcon get(const QString& name) {
  const QString path = QStringLiteral(":/resources/icons/") + name + QStringLiteral(".svg");
  return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace Icons
