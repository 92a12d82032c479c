#include "support/Preferences.h"

#include <QSettings>

#include <cmath>

namespace Preferences {

QString Keys::encodeSettings(quar::ExportFormat format) {
  return QStringLiteral("encode.") + QString::fromUtf8(quar::rawValue(format));
}

void useIniFiles() { QSettings::setDefaultFormat(QSettings::IniFormat); }

const QVariantMap& registrationDefaults() {
  static const QVariantMap defaults{
      {Keys::timeFormat, QStringLiteral("hms")},  {Keys::snapToZeroCrossings, false},
      {Keys::loudnessTarget, -14.0},              {Keys::truePeakCeiling, -1.0},
      {Keys::fadeShape, QStringLiteral("sCurve")}, {Keys::showLoudnessLane, true},
      {Keys::showInspector, true},                {Keys::loudnessLaneHeight, 130.0},
  };
  return defaults;
}

namespace {

QVariant registered(const QString& key) { return registrationDefaults().value(key); }

// INI files store every value as text, so a stored value is read from its text form.
std::optional<bool> readBool(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  const QString text = value.toString().trimmed().toLower();
  if (text == QLatin1String("true")) return true;
  if (text == QLatin1String("false")) return false;
  return std::nullopt;
}

std::optional<double> readDouble(const QVariant& value) {
  bool ok = false;
  const double number = value.toDouble(&ok);
  if (!ok || !std::isfinite(number)) return std::nullopt;
  return number;
}

} // namespace

bool boolValue(const QString& key) {
  const QVariant stored = QSettings().value(key);
  if (stored.isValid())
    if (const auto value = readBool(stored)) return *value;
  return registered(key).toBool();
}

double doubleValue(const QString& key) {
  const QVariant stored = QSettings().value(key);
  if (stored.isValid())
    if (const auto value = readDouble(stored)) return *value;
  return registered(key).toDouble();
}

QString stringValue(const QString& key) {
  const QVariant stored = QSettings().value(key);
  if (stored.isValid() && stored.canConvert<QString>()) return stored.toString();
  return registered(key).toString();
}

QRect rectValue(const QString& key) { return QSettings().value(key).toRect(); }

QStringList stringListValue(const QString& key) { return QSettings().value(key).toStringList(); }

void setValue(const QString& key, const QVariant& value) { QSettings().setValue(key, value); }

void remove(const QString& key) { QSettings().remove(key); }

quar::FadeShape fadeShape() {
  const std::string raw = stringValue(Keys::fadeShape).toStdString();
  return quar::fromRawValue<quar::FadeShape>(std::string_view(raw)).value_or(quar::FadeShape::sCurve);
}

void setFadeShape(quar::FadeShape shape) { setValue(Keys::fadeShape, QString::fromUtf8(quar::rawValue(shape))); }

quar::EncodeSettings encodeSettings(quar::ExportFormat format) {
  const QByteArray data = QSettings().value(Keys::encodeSettings(format)).toByteArray();
  if (!data.isEmpty()) {
    try {
      const auto settings = quar::Json::parse(data.toStdString()).get<quar::EncodeSettings>();
      if (settings.format == format) return settings.normalized();
    } catch (const std::exception&) {
      // Unreadable settings fall back on the format's defaults.
    }
  }
  return quar::EncodeSettings::defaults(format);
}

quar::ExportFormat lastExportFormat() {
  const std::string raw = QSettings().value(Keys::lastExportFormat).toString().toStdString();
  return quar::fromRawValue<quar::ExportFormat>(std::string_view(raw)).value_or(quar::ExportFormat::wav);
}

void store(const quar::EncodeSettings& settings) {
  QSettings store;
  try {
    store.setValue(Keys::encodeSettings(settings.format), QByteArray::fromStdString(quar::Json(settings).dump()));
  } catch (const std::exception&) {
    // Settings that cannot be encoded leave the previous ones in place.
  }
  store.setValue(Keys::lastExportFormat, QString::fromUtf8(quar::rawValue(settings.format)));
}

} // namespace Preferences
