// quarnel-desktop-entry FILE: writes the program's desktop entry to FILE (at build time, for
// installation).
#include <QSaveFile>
#include <QString>

#include <cstdio>

#include "platform/DesktopEntry.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quarnel-desktop-entry FILE\n");
    return 2;
  }
  QSaveFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(DesktopEntry::text().toUtf8()) < 0 ||
      !file.commit()) {
    std::fprintf(stderr, "quarnel-desktop-entry: cannot write %s: %s\n", argv[1], qPrintable(file.errorString()));
    return 1;
  }
  return 0;
}
