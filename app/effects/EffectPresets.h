// EffectPresets: the presets of the built-in effects: each kind's fixed factory presets (kept in
// its BuiltinEffectPanel record) and the presets the user saved. The user presets of every kind
// live in one JSON file, EffectPresets.json in the application support folder
// ({"<kind>": {"<name>": settings}}), shared by all documents; it is read once, on first use,
// and rewritten whole (atomically) by every save. A file that exists but cannot be read or
// decoded counts as empty and is set aside under a timestamped name before the first save
// writes a new one; it is never overwritten. GUI thread only.
#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "dsp/effects/EffectSettings.h"

namespace EffectPresets {

struct Preset {
  QString name;
  quar::EffectSettings settings;

  bool operator==(const Preset&) const = default;
};

// The kind's factory presets in their fixed order. Every call builds them anew (equaliser bands
// get fresh ids).
std::vector<Preset> factory(quar::EffectKind kind);

// The kind's user presets in localized standard order of their names. An entry of the file
// whose settings are of another kind is left out.
std::vector<Preset> user(quar::EffectKind kind);

// Stores `settings` under `name` among the user presets of its kind (a noise-reduction preset
// without its learnt profile), replacing a preset of that name, and rewrites the file. Returns
// the message of a failure: when the presets cannot be encoded (a number that is not finite)
// nothing changes; when the file cannot be set aside or written the preset is kept for this
// run only.
std::optional<QString> save(const quar::EffectSettings& settings, const QString& name);

// The presets file: EffectPresets.json in the folder "Quarnel" of the application support
// folder, which is created when missing.
QString filePath();

// Forgets the presets read: the next use reads the file again. For tests.
void forgetCache();

} // namespace EffectPresets
