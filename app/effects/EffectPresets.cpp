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

#include "effects/BuiltinEffectPanel.h"
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
    if (!presets.is_object()) throw DecodingError("The presets of " + kindName + " are not an object.", kindName);
    auto& named = store[kindName];
    for (const auto& [name, value] : presets.items())
      named.insert_or_assign(name, decodeEffectSettings(value, kindName + "." + name));
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

} // namespace

std::vector<Preset> factory(EffectKind kind) { return builtinEffectPanel(kind).factoryPresets(); }

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
