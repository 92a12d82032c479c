#include "support/TimeFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "support/FixedText.h"

namespace {

// A decimal floating-point number making up the whole text, with an optional sign.
std::optional<double> parseDouble(QStringView text) {
  const QByteArray bytes = text.toUtf8();
  const char* first = bytes.constData();
  const char* last = first + bytes.size();
  if (first != last && *first == '+') ++first;
  if (first == last || *first == '+') return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

// The frame of the samples reading: a whole number as the current locale writes it, with an
// optional "smp" after it.
std::optional<int64_t> samplesReading(QString text) {
  if (text.endsWith(QStringLiteral("smp"))) text.chop(3);
  bool ok = false;
  const qlonglong value = QLocale().toLongLong(text, &ok);
  return ok ? std::optional<int64_t>(value) : std::nullopt;
}

std::optional<int64_t> timeReading(QString text, double sampleRate) {
  if (text.endsWith(u's')) text.chop(1);
  const QStringList pieces = text.split(u':', Qt::SkipEmptyParts);
  if (pieces.isEmpty()) return std::nullopt;
  double total = 0;
  for (const QString& piece : pieces) {
    const std::optional<double> value = parseDouble(piece);
    if (!value) return std::nullopt;
    total = total * 60 + *value;
  }
  const double frame = std::round(sampleRate * total);
  if (!quar::fitsInt64(frame)) return std::nullopt;
  return static_cast<int64_t>(frame);
}

// "m:ss" or "h:mm:ss" of whole seconds, then "." and `digits` zero-padded to `decimals` places
// when there are any.
QString hmsText(int64_t whole, int64_t digits, int decimals) {
  QString text = whole < 3600 ? QString::asprintf("%lld:%02lld", static_cast<long long>((whole / 60) % 60),
                                                  static_cast<long long>(whole % 60))
                              : QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                                                  static_cast<long long>((whole / 60) % 60),
                                                  static_cast<long long>(whole % 60));
  if (decimals > 0) text += QString::asprintf(".%0*lld", decimals, static_cast<long long>(digits));
  return text;
}

} // namespace

std::string_view rawValue(TimeFormat format) {
  switch (format) {
  case TimeFormat::hms: return "hms";
  case TimeFormat::seconds: return "seconds";
  case TimeFormat::samples: return "samples";
  }
  return {};
}

QString title(TimeFormat format) {
  switch (format) {
  case TimeFormat::hms: return QStringLiteral("Hours:Minutes:Seconds");
  case TimeFormat::seconds: return QStringLiteral("Seconds");
  case TimeFormat::samples: return QStringLiteral("Samples");
  }
  return {};
}

QString hmsString(double seconds, int decimals) {
  if (!quar::fitsInt64(seconds)) return {};
  seconds = std::max(seconds, 0.0);
  const auto whole = static_cast<int64_t>(seconds);
  if (decimals <= 0) return hmsText(whole, 0, 0);
  const double digits = std::floor(std::pow(10.0, decimals) * (seconds - static_cast<double>(whole)));
  if (!quar::fitsInt64(digits)) return {};
  return hmsText(whole, static_cast<int64_t>(digits), decimals);
}

QString hmsString(int64_t frames, double sampleRate, int decimals) {
  const int places = std::max(decimals, 0);
  int64_t scale = 1;
  for (int i = 0; i < std::min(places, 18); ++i) scale *= 10;
  const int64_t rate = quar::fitsInt64(sampleRate) ? static_cast<int64_t>(sampleRate) : 0;
  // Integer division needs a whole-number rate and a remainder that stays in range when scaled.
  if (rate <= 0 || static_cast<double>(rate) != sampleRate || places > 18 ||
      rate > std::numeric_limits<int64_t>::max() / scale)
    return hmsString(static_cast<double>(frames) / sampleRate, decimals);
  frames = std::max<int64_t>(frames, 0);
  return hmsText(frames / rate, frames % rate * scale / rate, places);
}

QString durationString(int64_t frames, double sampleRate) {
  const double seconds = static_cast<double>(frames) / sampleRate;
  return seconds < 60 ? fixedText(seconds, 3) + QStringLiteral(" s") : hmsString(frames, sampleRate, 2);
}

QString timeString(TimeFormat format, int64_t frame, double sampleRate) {
  const double seconds = static_cast<double>(frame) / sampleRate;
  switch (format) {
  case TimeFormat::hms: return hmsString(frame, sampleRate, 3);
  case TimeFormat::seconds: return std::isfinite(seconds) ? QString::asprintf("%.3f", seconds) : QString();
  case TimeFormat::samples: return QLocale().toString(static_cast<qlonglong>(frame));
  }
  return {};
}

std::optional<int64_t> frameFromText(TimeFormat format, QStringView text, double sampleRate) {
  qsizetype begin = 0, end = text.size();
  const auto isHorizontalSpace = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
  while (begin < end && isHorizontalSpace(text[begin])) ++begin;
  while (end > begin && isHorizontalSpace(text[end - 1])) --end;
  const QString trimmed = text.mid(begin, end - begin).toString().toLower();
  if (trimmed.isEmpty()) return std::nullopt;
  if (format == TimeFormat::samples || trimmed.endsWith(QStringLiteral("smp"))) return samplesReading(trimmed);
  return timeReading(trimmed, sampleRate);
}
