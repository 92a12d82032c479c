#include "support/LocalizedStandard.h"

#include <QCollator>
#include <QLocale>

int localizedStandardCompare(const QString& a, const QString& b) {
  static const QCollator collator = [] {
    QCollator c(QLocale(QLocale::English, QLocale::UnitedStates));
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  return collator.compare(a, b);
}
