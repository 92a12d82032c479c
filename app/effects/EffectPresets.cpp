#include "effects/EffectPresets.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <map>
#include <string>

#include "support/LocalizedStandard.h"

using namespace quar;

namespace EffectPresets {

namespace {

// Kind raw value -> preset name -> settings, as in the file.
using Store = std::map<std::string, std::map<std::string, EffectSettings>>;

struct Cache {
  Store presets;
  // The file exists but could not be read or decoded: it is set aside before the next write.
  bool unreadable = false;
};

std::optional<Cache>& cache() {
  static std::optional<Cache> value;
  return value;
}

Store decode(const Json& json) {
  if (!json.is_object()) throw DecodingError("The presets are not an object.");
  Store store;
  for (const auto& [kindName, presets] : json.items()) {
    if (!presets.is_object()) throw DecodingError("The presets of " + kindName + " are not an object.");
    auto& named = store[kindName];
    for (const auto& [name, value] : presets.items()) {
      EffectSettings settings;
      from_json(value, settings);
      named.insert_or_assign(name, std::move(settings));
    }
  }
  return store;
}

Json encode(const Store& store) {
  Json json = Json::object();
  for (const auto& [kindName, presets] : store) {
    Json named = Json::object();
    for (const auto& [name, settings] : presets) named[name] = settings;
    json[kindName] = std::move(named);
  }
  return json;
}

Cache read() {
  QFile file(filePath());
  if (!QFileInfo::exists(file.fileName())) return {};
  if (!file.open(QIODevice::ReadOnly)) return {{}, true};
  const QByteArray data = file.readAll();
  try {
    return {decode(Json::parse(data.begin(), data.end())), false};
  } catch (const std::exception&) {
    return {{}, true};
  }
}

Cache& loaded() {
  if (!cache()) cache() = read();
  return *cache();
}

// Renames the file at `path` to "EffectPresets-unreadable-<date>-<time>.json" beside it.
bool setAside(const QString& path) {
  const QDir folder = QFileInfo(path).dir();
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  for (int n = 1; n <= 100; ++n) {
    const QString suffix = n == 1 ? QString() : QStringLiteral("-%1").arg(n);
    const QString target = folder.filePath(QStringLiteral("EffectPresets-unreadable-%1%2.json").arg(stamp, suffix));
    if (!QFileInfo::exists(target)) return QDir().rename(path, target);
  }
  return false;
}

// Replaces the file's content with `data`; the message of a failure.
std::optional<QString> write(Cache& store, const QByteArray& data) {
  const QString path = filePath();
  if (store.unreadable && QFileInfo::exists(path) && !setAside(path))
    return QStringLiteral("The presets file that couldn\u2019t be read couldn\u2019t be set aside.");
  store.unreadable = false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) return file.errorString();
  return std::nullopt;
}

EQSettings eq(std::vector<EQBand> bands) { return EQSettings(std::move(bands), 0); }

EQBand band(EQBandType type, double frequency, double gainDB, double q, int64_t slope) {
  return EQBand(type, frequency, gainDB, q, slope, true);
}

NoiseReductionSettings noiseReduction(double reductionDB, double sensitivityDB, double smoothing) {
  return NoiseReductionSettings{std::nullopt, reductionDB, sensitivityDB, smoothing, false};
}

std::vector<Preset> factoryEQ() {
  using enum EQBandType;
  return {
      {"Flat", EQSettings()},
      {"Vocal Presence",
       eq({band(lowCut, 80, 0, 0.707, 24), band(peak, 250, -2.5, 1.2, 24), band(peak, 3200, 3, 0.9, 24),
           band(highShelf, 10000, 2, 0.7, 24)})},
      {"Bass Boost", eq({band(lowShelf, 110, 6, 0.7, 24), band(peak, 350, -1.5, 1.0, 24)})},
      {"Remove Mud", eq({band(lowCut, 60, 0, 0.707, 12), band(peak, 300, -4, 1.4, 24)})},
      {"Add Air", eq({band(highShelf, 12000, 4, 0.7, 24)})},
      {"Telephone",
       eq({band(lowCut, 300, 0, 0.707, 48), band(peak, 1500, 5, 0.8, 24), band(highCut, 3400, 0, 0.707, 48)})},
      {"Hum Notch (60 Hz)", eq({band(notch, 60, 0, 12, 24), band(notch, 120, 0, 12, 24), band(notch, 180, 0, 12, 24)})},
  };
}

} // namespace

std::vector<Preset> factory(EffectKind kind) {
  using enum SaturationMode;
  using enum ModulationMode;
  constexpr DetectionMode peak = DetectionMode::peak, rms = DetectionMode::rms;
  switch (kind) {
  case EffectKind::eq: return factoryEQ();
  case EffectKind::compressor:
    return {
        {"Gentle Glue", CompressorSettings{-20, 2, 10, 30, 250, 0, true, rms, true, 1.0}},
        {"Vocal Leveler", CompressorSettings{-22, 4, 6, 5, 120, 0, true, peak, true, 1.0}},
        {"Punchy Drums", CompressorSettings{-16, 4, 3, 25, 80, 0, true, peak, true, 1.0}},
        {"Parallel Crush", CompressorSettings{-35, 10, 0, 1, 60, 0, true, peak, true, 0.4}},
        {"Broadcast Voice", CompressorSettings{-26, 6, 6, 2, 180, 0, true, rms, true, 1.0}},
        {"Peak Catcher", CompressorSettings{-6, 20, 2, 0.2, 50, 0, false, peak, true, 1.0}},
    };
  case EffectKind::gate:
    return {
        {"Voice Cleanup", GateSettings{-45, -24, 2, 80, 250, 3, true}},
        {"Tight Drums", GateSettings{-30, -80, 0.1, 20, 60, 3, true}},
        {"Hard Silence", GateSettings{-50, -90, 0.5, 100, 150, 3, true}},
    };
  case EffectKind::distortion:
    return {
        {"Warm Tape", DistortionSettings{tube, 6, 14000, -2, 0.7, 8, 1}},
        {"Overdrive", DistortionSettings{soft, 20, 8000, -10, 1.0, 8, 1}},
        {"Fuzz", DistortionSettings{hard, 36, 6000, -18, 1.0, 8, 1}},
        {"Lo-Fi 8-bit", DistortionSettings{bitcrush, 0, 12000, -3, 1.0, 8, 4}},
    };
  case EffectKind::delay:
    return {
        {"Slapback", DelaySettings{95, 1.0, 0.1, 0.25, false, 80, 8000}},
        {"Quarter Note @ 120", DelaySettings{500, 1.0, 0.35, 0.3, false, 80, 8000}},
        {"Dotted Eighth Ping-Pong", DelaySettings{375, 1.0, 0.45, 0.3, true, 80, 8000}},
        {"Dub Echo", DelaySettings{600, 1.0, 0.7, 0.35, false, 80, 2500}},
        {"Wide Doubler", DelaySettings{18, 1.6, 0.0, 0.4, false, 80, 8000}},
    };
  case EffectKind::reverb:
    return {
        {"Ambience", ReverbSettings{0, 0.4, 0.2, 0.6, 0.8, 1.0, 100, 0.15}},
        {"Small Room", ReverbSettings{5, 0.6, 0.3, 0.5, 0.8, 1.0, 100, 0.2}},
        {"Vocal Plate", ReverbSettings{25, 1.6, 0.5, 0.3, 0.8, 1.0, 100, 0.22}},
        {"Concert Hall", ReverbSettings{30, 2.8, 0.85, 0.5, 0.8, 1.0, 100, 0.28}},
        {"Cathedral", ReverbSettings{45, 7.0, 1.0, 0.6, 0.8, 1.0, 100, 0.35}},
    };
  case EffectKind::chorus:
    return {
        {"Subtle Chorus", ChorusSettings{chorus, 0.5, 0.3, 14, 0.0, 2, 0.5, 0.35}},
        {"Wide Ensemble", ChorusSettings{chorus, 0.8, 0.6, 18, 0.0, 4, 0.5, 0.5}},
        {"Jet Flanger", ChorusSettings{flanger, 0.2, 0.8, 2, 0.7, 2, 0.5, 0.5}},
        {"Slow Sweep", ChorusSettings{flanger, 0.08, 0.9, 3, 0.5, 2, 0.5, 0.5}},
    };
  case EffectKind::noiseReduction:
    return {
        {"Light", noiseReduction(10, -3, 0.6)},
        {"Medium", noiseReduction(18, 0, 0.5)},
        {"Strong", noiseReduction(30, 3, 0.4)},
    };
  }
  return {};
}

std::vector<Preset> user(EffectKind kind) {
  std::vector<Preset> presets;
  const Store& store = loaded().presets;
  if (const auto named = store.find(std::string(rawValue(kind))); named != store.end())
    for (const auto& [name, settings] : named->second)
      if (quar::kind(settings) == kind) presets.push_back({QString::fromStdString(name), settings});
  std::ranges::stable_sort(presets, [](const Preset& a, const Preset& b) {
    return localizedStandardCompare(a.name, b.name) < 0;
  });
  return presets;
}

std::optional<QString> save(const EffectSettings& settings, const QString& name) {
  EffectSettings stored = settings;
  if (auto* noise = std::get_if<NoiseReductionSettings>(&stored)) noise->profile.reset();
  Cache& store = loaded();
  Store next = store.presets;
  next[std::string(rawValue(quar::kind(stored)))].insert_or_assign(name.toStdString(), std::move(stored));

  const auto failure = [&](const QString& reason) {
    return QStringLiteral("Couldn\u2019t save the preset \u201C%1\u201D: %2").arg(name, reason);
  };
  QByteArray data;
  try {
    data = QByteArray::fromStdString(encode(next).dump());
  } catch (const std::exception& error) {
    return failure(QString::fromUtf8(error.what()));
  }
  store.presets = std::move(next);
  if (const auto error = write(store, data)) return failure(*error);
  return std::nullopt;
}

QString filePath() {
  const QString folder =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quarnel");
  QDir().mkpath(folder);
  return folder + QStringLiteral("/EffectPresets.json");
}

void forgetCache() { cache().reset(); }

} // namespace EffectPresets
