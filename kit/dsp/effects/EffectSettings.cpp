#include "dsp/effects/EffectSettings.h"

#include "dsp/effects/BuiltinEffect.h"

#include <charconv>
#include <cmath>
#include <tuple>
#include <type_traits>
#include <vector>

namespace quar {

std::string_view rawValue(SaturationMode mode) {
  switch (mode) {
    case SaturationMode::soft: return "soft";
    case SaturationMode::tube: return "tube";
    case SaturationMode::hard: return "hard";
    case SaturationMode::bitcrush: return "bitcrush";
  }
  return {};
}

std::string_view displayName(SaturationMode mode) {
  switch (mode) {
    case SaturationMode::soft: return "Soft Clip";
    case SaturationMode::tube: return "Tube";
    case SaturationMode::hard: return "Hard Clip";
    case SaturationMode::bitcrush: return "Bit Crusher";
  }
  return {};
}

std::string_view rawValue(ModulationMode mode) { return mode == ModulationMode::chorus ? "chorus" : "flanger"; }
std::string_view displayName(ModulationMode mode) { return mode == ModulationMode::chorus ? "Chorus" : "Flanger"; }

EffectKind kind(const EffectSettings& settings) { return allCases<EffectKind>()[settings.index()]; }

EffectSettings defaultSettings(EffectKind kind) { return builtinEffect(kind).defaultSettings(); }

// Every record is described once, as its stored fields in declaration order; coding and hashing
// walk that list.
namespace {

template <typename Record, typename Value>
struct Field {
  const char* name;
  Value Record::*member;
};

template <typename Record, typename Value>
Field(const char*, Value Record::*) -> Field<Record, Value>;

template <typename Record>
struct Fields;

template <>
struct Fields<EQBand> {
  static constexpr std::tuple list{
      Field{"id", &EQBand::id},           Field{"isEnabled", &EQBand::isEnabled},
      Field{"type", &EQBand::type},       Field{"frequency", &EQBand::frequency},
      Field{"gainDB", &EQBand::gainDB},   Field{"q", &EQBand::q},
      Field{"slopeDBPerOctave", &EQBand::slopeDBPerOctave},
  };
  static EQBand blank() { return EQBand(EQBandType::peak, 0, 0, 0, 0, true); }
};

template <>
struct Fields<EQSettings> {
  static constexpr std::tuple list{Field{"bands", &EQSettings::bands},
                                   Field{"outputGainDB", &EQSettings::outputGainDB}};
  static EQSettings blank() { return EQSettings(std::vector<EQBand>{}); }
};

template <>
struct Fields<CompressorSettings> {
  using S = CompressorSettings;
  static constexpr std::tuple list{
      Field{"thresholdDB", &S::thresholdDB},   Field{"ratio", &S::ratio},
      Field{"kneeDB", &S::kneeDB},             Field{"attackMs", &S::attackMs},
      Field{"releaseMs", &S::releaseMs},       Field{"makeupGainDB", &S::makeupGainDB},
      Field{"autoMakeup", &S::autoMakeup},     Field{"detection", &S::detection},
      Field{"stereoLink", &S::stereoLink},     Field{"mix", &S::mix},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<GateSettings> {
  using S = GateSettings;
  static constexpr std::tuple list{
      Field{"thresholdDB", &S::thresholdDB}, Field{"rangeDB", &S::rangeDB},
      Field{"attackMs", &S::attackMs},       Field{"holdMs", &S::holdMs},
      Field{"releaseMs", &S::releaseMs},     Field{"hysteresisDB", &S::hysteresisDB},
      Field{"stereoLink", &S::stereoLink},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<DistortionSettings> {
  using S = DistortionSettings;
  static constexpr std::tuple list{
      Field{"mode", &S::mode},       Field{"driveDB", &S::driveDB}, Field{"toneHz", &S::toneHz},
      Field{"outputDB", &S::outputDB}, Field{"mix", &S::mix},       Field{"bits", &S::bits},
      Field{"downsample", &S::downsample},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<DelaySettings> {
  using S = DelaySettings;
  static constexpr std::tuple list{
      Field{"timeMs", &S::timeMs},     Field{"rightTimeRatio", &S::rightTimeRatio},
      Field{"feedback", &S::feedback}, Field{"mix", &S::mix},
      Field{"pingPong", &S::pingPong}, Field{"lowCutHz", &S::lowCutHz},
      Field{"highCutHz", &S::highCutHz},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<ReverbSettings> {
  using S = ReverbSettings;
  static constexpr std::tuple list{
      Field{"preDelayMs", &S::preDelayMs}, Field{"decaySeconds", &S::decaySeconds},
      Field{"size", &S::size},             Field{"damping", &S::damping},
      Field{"diffusion", &S::diffusion},   Field{"width", &S::width},
      Field{"lowCutHz", &S::lowCutHz},     Field{"mix", &S::mix},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<ChorusSettings> {
  using S = ChorusSettings;
  static constexpr std::tuple list{
      Field{"mode", &S::mode},         Field{"rateHz", &S::rateHz},
      Field{"depth", &S::depth},       Field{"delayMs", &S::delayMs},
      Field{"feedback", &S::feedback}, Field{"voices", &S::voices},
      Field{"stereoSpread", &S::stereoSpread}, Field{"mix", &S::mix},
  };
  static S blank() { return {}; }
};

template <>
struct Fields<NoiseProfile> {
  using S = NoiseProfile;
  static constexpr std::tuple list{Field{"fftSize", &S::fftSize}, Field{"sampleRate", &S::sampleRate},
                                   Field{"binPower", &S::binPower}};
  static S blank() { return {}; }
};

template <>
struct Fields<NoiseReductionSettings> {
  using S = NoiseReductionSettings;
  static constexpr std::tuple list{
      Field{"profile", &S::profile},     Field{"reductionDB", &S::reductionDB},
      Field{"sensitivityDB", &S::sensitivityDB}, Field{"smoothing", &S::smoothing},
      Field{"outputNoiseOnly", &S::outputNoiseOnly},
  };
  static S blank() { return {}; }
};

template <typename T>
constexpr bool isRecord = requires { Fields<T>::list; };

template <typename T>
struct VectorElement {};
template <typename T>
struct VectorElement<std::vector<T>> {
  using type = T;
};
template <typename T>
constexpr bool isVector = requires { typename VectorElement<T>::type; };

template <typename T>
struct OptionalValue {};
template <typename T>
struct OptionalValue<std::optional<T>> {
  using type = T;
};
template <typename T>
constexpr bool isOptional = requires { typename OptionalValue<T>::type; };

template <typename E>
constexpr const char* enumName = nullptr;
template <>
constexpr const char* enumName<EffectKind> = "EffectKind";
template <>
constexpr const char* enumName<EQBandType> = "EQBandType";
template <>
constexpr const char* enumName<DetectionMode> = "DetectionMode";
template <>
constexpr const char* enumName<SaturationMode> = "SaturationMode";
template <>
constexpr const char* enumName<ModulationMode> = "ModulationMode";

std::string memberPath(const std::string& path, const char* name) {
  return path.empty() ? std::string(name) : path + "." + name;
}

[[noreturn]] void typeMismatch(const char* expected, const Json& value, const std::string& path) {
  throw DecodingError("Expected to decode " + std::string(expected) + " but found " + value.type_name() +
                          " at \"" + path + "\".",
                      path);
}

// A finite Float as the double with the Float's shortest text, so files read "0.1", not
// "0.10000000149011612"; that double converts back to the same Float.
Json encodeFloat(float value, const std::string& path) {
  if (!std::isfinite(value))
    throw EncodingError("Unable to encode Float." + std::string(std::isnan(value) ? "nan" : "inf") +
                        " directly in JSON at \"" + path + "\".");
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  double shortest = value;
  std::from_chars(text, end, shortest);
  return static_cast<float>(shortest) == value ? shortest : static_cast<double>(value);
}

template <typename T>
Json encodeValue(const T& value, const std::string& path) {
  if constexpr (std::is_same_v<T, double>) {
    return json::encodeDouble(value, path);
  } else if constexpr (std::is_same_v<T, float>) {
    return encodeFloat(value, path);
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int64_t>) {
    return value;
  } else if constexpr (std::is_enum_v<T>) {
    return std::string(rawValue(value));
  } else if constexpr (std::is_same_v<T, Uuid>) {
    return value.uuidString();
  } else if constexpr (isVector<T>) {
    Json array = Json::array();
    for (size_t i = 0; i < value.size(); ++i)
      array.push_back(encodeValue(value[i], path + "[" + std::to_string(i) + "]"));
    return array;
  } else {
    static_assert(isRecord<T>);
    Json object = Json::object();
    std::apply(
        [&](const auto&... field) {
          auto encodeField = [&](const auto& f) {
            const auto& member = value.*(f.member);
            if constexpr (isOptional<std::remove_cvref_t<decltype(member)>>) {
              if (member) object[f.name] = encodeValue(*member, memberPath(path, f.name));
            } else {
              object[f.name] = encodeValue(member, memberPath(path, f.name));
            }
          };
          (encodeField(field), ...);
        },
        Fields<T>::list);
    return object;
  }
}

template <typename T>
T decodeValue(const Json& json, const std::string& path) {
  if constexpr (std::is_same_v<T, double>) {
    return json::decodeDouble(json, path);
  } else if constexpr (std::is_same_v<T, float>) {
    return json::decodeFloat(json, path);
  } else if constexpr (std::is_same_v<T, bool>) {
    return json::decodeBool(json, path);
  } else if constexpr (std::is_same_v<T, int64_t>) {
    return json::decodeInt(json, path);
  } else if constexpr (std::is_enum_v<T>) {
    const std::string text = json::decodeString(json, path);
    if (auto value = fromRawValue<T>(text)) return *value;
    throw DecodingError("Cannot initialize " + std::string(enumName<T>) + " from invalid value " + text +
                            " at \"" + path + "\".",
                        path);
  } else if constexpr (std::is_same_v<T, Uuid>) {
    const std::string text = json::decodeString(json, path);
    if (auto id = Uuid::fromString(text)) return *id;
    throw DecodingError("Attempted to decode UUID from invalid UUID string " + text + " at \"" + path + "\".",
                        path);
  } else if constexpr (isVector<T>) {
    if (!json.is_array()) typeMismatch("an array", json, path);
    T array;
    array.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i)
      array.push_back(decodeValue<typename VectorElement<T>::type>(json[i], path + "[" + std::to_string(i) + "]"));
    return array;
  } else {
    static_assert(isRecord<T>);
    if (!json.is_object()) typeMismatch("a keyed object", json, path);
    T record = Fields<T>::blank();
    std::apply(
        [&](const auto&... field) {
          auto decodeField = [&](const auto& f) {
            auto& member = record.*(f.member);
            using Member = std::remove_cvref_t<decltype(member)>;
            if constexpr (isOptional<Member>) {
              if (json.contains(f.name) && !json[f.name].is_null())
                member = decodeValue<typename OptionalValue<Member>::type>(json[f.name], memberPath(path, f.name));
              else
                member.reset();
            } else {
              member = decodeValue<Member>(json::member(json, f.name), memberPath(path, f.name));
            }
          };
          (decodeField(field), ...);
        },
        Fields<T>::list);
    return record;
  }
}

void combine(size_t& hash, size_t value) { hash ^= value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2); }

template <typename T>
void hashInto(size_t& hash, const T& value) {
  if constexpr (std::is_floating_point_v<T>) {
    combine(hash, std::hash<T>{}(value == 0 ? T(0) : value));  // -0 and +0 alike
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int64_t> || std::is_enum_v<T> ||
                       std::is_same_v<T, Uuid>) {
    combine(hash, std::hash<T>{}(value));
  } else if constexpr (isVector<T>) {
    combine(hash, value.size());
    for (const auto& element : value) hashInto(hash, element);
  } else if constexpr (isOptional<T>) {
    combine(hash, value.has_value());
    if (value) hashInto(hash, *value);
  } else {
    static_assert(isRecord<T>);
    std::apply([&](const auto&... field) { (hashInto(hash, value.*(field.member)), ...); }, Fields<T>::list);
  }
}

template <typename T>
size_t recordHash(const T& record) {
  size_t hash = 0;
  hashInto(hash, record);
  return hash;
}

// to_json builds the whole value before assigning it, from_json decodes the whole value before
// assigning it: a failure leaves the target untouched.
template <typename T>
void encodeInto(Json& json, const T& value) {
  Json encoded = encodeValue(value, "");
  json = std::move(encoded);
}

template <typename T>
void decodeInto(const Json& json, T& value) {
  value = decodeValue<T>(json, "");
}

template <typename Record>
Record finiteFieldsOf(Record record) {
  const Record defaults{};
  std::apply(
      [&](const auto&... field) {
        const auto fix = [](auto& value, const auto& fallback) {
          if constexpr (std::is_floating_point_v<std::remove_cvref_t<decltype(value)>>)
            if (!std::isfinite(value)) value = fallback;
        };
        (fix(record.*(field.member), defaults.*(field.member)), ...);
      },
      Fields<Record>::list);
  return record;
}

} // namespace

CompressorSettings withFiniteFields(CompressorSettings settings) { return finiteFieldsOf(settings); }
GateSettings withFiniteFields(GateSettings settings) { return finiteFieldsOf(settings); }
DistortionSettings withFiniteFields(DistortionSettings settings) { return finiteFieldsOf(settings); }
DelaySettings withFiniteFields(DelaySettings settings) { return finiteFieldsOf(settings); }
ReverbSettings withFiniteFields(ReverbSettings settings) { return finiteFieldsOf(settings); }
ChorusSettings withFiniteFields(ChorusSettings settings) { return finiteFieldsOf(settings); }

size_t hashValue(const EQBand& band) { return recordHash(band); }
size_t hashValue(const EQSettings& settings) { return recordHash(settings); }
size_t hashValue(const CompressorSettings& settings) { return recordHash(settings); }
size_t hashValue(const GateSettings& settings) { return recordHash(settings); }
size_t hashValue(const DistortionSettings& settings) { return recordHash(settings); }
size_t hashValue(const DelaySettings& settings) { return recordHash(settings); }
size_t hashValue(const ReverbSettings& settings) { return recordHash(settings); }
size_t hashValue(const ChorusSettings& settings) { return recordHash(settings); }
size_t hashValue(const NoiseProfile& profile) { return recordHash(profile); }
size_t hashValue(const NoiseReductionSettings& settings) { return recordHash(settings); }

void to_json(Json& json, const EffectSettings& settings) {
  Json encoded = std::visit(
      [&](const auto& record) {
        const std::string name(rawValue(kind(settings)));
        Json payload = Json::object();
        payload["_0"] = encodeValue(record, name + "._0");
        Json object = Json::object();
        object[name] = std::move(payload);
        return object;
      },
      settings);
  json = std::move(encoded);
}

namespace {

template <size_t index = 0>
EffectSettings decodeCase(size_t caseIndex, const Json& payload, const std::string& path) {
  if constexpr (index + 1 < std::variant_size_v<EffectSettings>) {
    if (caseIndex != index) return decodeCase<index + 1>(caseIndex, payload, path);
  }
  return EffectSettings(std::in_place_index<index>,
                        decodeValue<std::variant_alternative_t<index, EffectSettings>>(payload, path));
}

} // namespace

EffectSettings decodeEffectSettings(const Json& json, const std::string& codingPath) {
  if (!json.is_object()) typeMismatch("a keyed object", json, codingPath);
  std::optional<EffectKind> found;
  for (const auto& [key, value] : json.items()) {
    const auto caseKind = fromRawValue<EffectKind>(key);
    if (!caseKind) continue;
    if (found) throw DecodingError("Invalid number of keys found, expected one.", codingPath);
    found = caseKind;
  }
  if (!found) throw DecodingError("Invalid number of keys found, expected one.", codingPath);
  const std::string key(rawValue(*found));
  const std::string name = memberPath(codingPath, key.c_str());
  const Json& wrapper = json[key];
  if (!wrapper.is_object()) typeMismatch("a keyed object", wrapper, name);
  const Json& payload = json::member(wrapper, "_0");
  return decodeCase(static_cast<size_t>(*found), payload, name + "._0");
}

void from_json(const Json& json, EffectSettings& settings) { settings = decodeEffectSettings(json, ""); }

void to_json(Json& json, const EQBand& band) { encodeInto(json, band); }
void to_json(Json& json, const EQSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, EQSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const CompressorSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, CompressorSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const GateSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, GateSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const DistortionSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, DistortionSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const DelaySettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, DelaySettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const ReverbSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, ReverbSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const ChorusSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, ChorusSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, const NoiseProfile& profile) { encodeInto(json, profile); }
void from_json(const Json& json, NoiseProfile& profile) { decodeInto(json, profile); }
void to_json(Json& json, const NoiseReductionSettings& settings) { encodeInto(json, settings); }
void from_json(const Json& json, NoiseReductionSettings& settings) { decodeInto(json, settings); }
void to_json(Json& json, EffectKind kind) { encodeInto(json, kind); }
void from_json(const Json& json, EffectKind& kind) { decodeInto(json, kind); }
void to_json(Json& json, EQBandType type) { encodeInto(json, type); }
void from_json(const Json& json, EQBandType& type) { decodeInto(json, type); }
void to_json(Json& json, DetectionMode mode) { encodeInto(json, mode); }
void from_json(const Json& json, DetectionMode& mode) { decodeInto(json, mode); }
void to_json(Json& json, SaturationMode mode) { encodeInto(json, mode); }
void from_json(const Json& json, SaturationMode& mode) { decodeInto(json, mode); }
void to_json(Json& json, ModulationMode mode) { encodeInto(json, mode); }
void from_json(const Json& json, ModulationMode& mode) { decodeInto(json, mode); }

} // namespace quar

quar::EQBand nlohmann::adl_serializer<quar::EQBand>::from_json(const quar::Json& json) {
  return quar::decodeValue<quar::EQBand>(json, "");
}
