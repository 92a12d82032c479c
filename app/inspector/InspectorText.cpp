#include "inspector/InspectorText.h"

#include <algorithm>
#include <cmath>

#include "support/FixedText.h"

namespace InspectorText {

QString fixed(double value, int decimals) { return fixedText(value, decimals); }

QString signedFixed(double value, int decimals) {
  const QString text = fixedText(value, decimals);
  return std::signbit(value) ? text : QStringLiteral("+") + text;
}

QString loudness(double lufs) { return std::isfinite(lufs) && lufs > -100 ? fixedText(lufs, 1) : minusInfinity; }

QString level(double db) { return std::isfinite(db) && db > -140 ? fixedText(db, 1) : minusInfinity; }

QString linearLevel(double x) {
  if (!(x > 0)) return minusInfinity;
  return level(std::max(20 * std::log10(x), -144.0));
}

QString dcOffset(double mean) {
  return std::isfinite(mean) ? fixedText(mean * 100, 4) + QStringLiteral("%") : notMeasured;
}

QString wholeNumber(double value) { return fixedText(std::trunc(value) + 0.0, 0); }

} // namespace InspectorText
