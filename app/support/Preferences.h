// Preferences: the editor's user settings in QSettings (organisation and application
// "Quarnel"), with a registered default for every key the editor reads. A stored value that
// cannot be read as its key's type (not a boolean, not a finite number) reads as the default.
// Export settings are remembered per format as strict JSON under "encode.<format>".
// GUI thread only.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include "base/AudioFormats.h"
#include "core/FadeShape.h"

namespace Preferences {

namespace Keys {
inline const QString timeFormat = QStringLiteral("timeFormat");
inline const QString snapToZeroCrossings = QStringLiteral("snapToZeroCrossings");
inline const QString loudnessTarget = QStringLiteral("loudnessTarget");
inline const QString truePeakCeiling = QStringLiteral("truePeakCeiling");
inline const QString fadeShape = QStringLiteral("fadeShape");
inline const QString showLoudnessLane = QStringLiteral("showLoudnessLane");
inline const QString showInspector = QStringLiteral("showInspector");
inline const QString loudnessLaneHeight = QStringLiteral("loudnessLaneHeight");
inline const QString lastExportFormat = QStringLiteral("lastExportFormat");
// The editor window's remembered frame.
inline const QString editorWindowFrame = QStringLiteral("EditorWindow");
// The recent documents' paths, newest first.
inline const QString recentDocuments = QStringLiteral("recentDocuments");
// "encode." + the format's raw value.
QString encodeSettings(quar::ExportFormat format);
} // namespace Keys

// Stores the settings in INI files; called once at start, before any read.
void useIniFiles();

// The eight registered defaults.
const QVariantMap& registrationDefaults();

// Typed reads falling back on the registered default (false, 0 or "" for an unregistered key).
bool boolValue(const QString& key);
double doubleValue(const QString& key);
QString stringValue(const QString& key);
// The stored rectangle; an invalid one when none is stored.
QRect rectValue(const QString& key);
// The stored list; empty when none is stored.
QStringList stringListValue(const QString& key);
void setValue(const QString& key, const QVariant& value);
void remove(const QString& key);

// The stored fade shape of the fade sheet and the quick fades; sCurve when the stored text is
// no shape's raw value.
quar::FadeShape fadeShape();
void setFadeShape(quar::FadeShape shape);

// The stored settings of `format`, normalised; the format's defaults when none are stored,
// they do not decode, or they belong to another format.
quar::EncodeSettings encodeSettings(quar::ExportFormat format);
// The stored last export format; wav when missing or unknown.
quar::ExportFormat lastExportFormat();
// Stores the settings under their format's key (skipped when they cannot be encoded) and
// their format as the last export format.
void store(const quar::EncodeSettings& settings);

} // namespace Preferences
