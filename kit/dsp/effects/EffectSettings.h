// EffectSettings: the settings of one built-in effect, a std::variant over the eight settings
// records in EffectKind order; the value presets and rack slots store, compare and hash. Also the
// records without a file of their own, the kind <-> settings mapping, hashing of every record
// (consistent with ==: NaN never equal, -0 equal to +0) and the JSON form of the union, every
// record and every enumeration. Units follow field names (DB decibels, Ms milliseconds, Hz hertz,
// Seconds seconds); records hold whatever is stored in them: nothing is clamped or validated.
//
// What processors can rely on in apply (see ConfigurableEffect.h): only the equaliser's bands and
// the noise profile's binPower are arrays; every other field is inline, so copying the other six
// records allocates nothing. Copy-assigning a record whose arrays already have the capacity
// (std::vector reuses it) allocates nothing either; assigning a different variant case does.
// Coding, decoding and hashing allocate and belong off the audio thread.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>

#include "base/Enums.h"
#include "base/Json.h"
#include "dsp/effects/CompressorSettings.h"
#include "dsp/effects/EQSettings.h"
#include "dsp/effects/EffectKind.h"
#include "dsp/effects/NoiseProfile.h"

namespace quar {

struct GateSettings {
  double thresholdDB = -45;
  double rangeDB = -60;  // gain while closed
  double attackMs = 1;
  double holdMs = 50;
  double releaseMs = 150;
  double hysteresisDB = 3;
  bool stereoLink = true;

  bool operator==(const GateSettings&) const = default;
};

enum class SaturationMode { soft, tube, hard, bitcrush };

template <>
struct EnumCases<SaturationMode> {
  static constexpr std::array values{SaturationMode::soft, SaturationMode::tube, SaturationMode::hard,
                                     SaturationMode::bitcrush};
};

std::string_view rawValue(SaturationMode mode);
std::string_view displayName(SaturationMode mode);

struct DistortionSettings {
  SaturationMode mode = SaturationMode::soft;
  double driveDB = 12;
  double toneHz = 12000;
  double outputDB = -6;
  double mix = 1.0;
  double bits = 8;          // word length of the bit crusher
  double downsample = 1.0;  // rate-reduction factor of the bit crusher

  bool operator==(const DistortionSettings&) const = default;
};

struct DelaySettings {
  double timeMs = 375;
  double rightTimeRatio = 1.0;  // right channel's time as a multiple of timeMs
  double feedback = 0.35;
  double mix = 0.3;
  bool pingPong = false;
  double lowCutHz = 80;
  double highCutHz = 8000;

  bool operator==(const DelaySettings&) const = default;
};

struct ReverbSettings {
  double preDelayMs = 20;
  double decaySeconds = 1.8;
  double size = 0.6;
  double damping = 0.5;
  double diffusion = 0.8;
  double width = 1.0;
  double lowCutHz = 100;
  double mix = 0.25;

  bool operator==(const ReverbSettings&) const = default;
};

enum class ModulationMode { chorus, flanger };

template <>
struct EnumCases<ModulationMode> {
  static constexpr std::array values{ModulationMode::chorus, ModulationMode::flanger};
};

std::string_view rawValue(ModulationMode mode);
std::string_view displayName(ModulationMode mode);

struct ChorusSettings {
  ModulationMode mode = ModulationMode::chorus;
  double rateHz = 0.8;
  double depth = 0.5;
  double delayMs = 15;
  double feedback = 0;
  int64_t voices = 2;
  double stereoSpread = 0.5;
  double mix = 0.5;

  bool operator==(const ChorusSettings&) const = default;
};

struct NoiseReductionSettings {
  std::optional<NoiseProfile> profile;
  double reductionDB = 18;
  double sensitivityDB = 0;
  double smoothing = 0.5;
  bool outputNoiseOnly = false;

  bool operator==(const NoiseReductionSettings&) const = default;
};

// One case per EffectKind, in the same order (index() == the kind's position in allCases).
using EffectSettings = std::variant<EQSettings, CompressorSettings, GateSettings, DistortionSettings,
                                    DelaySettings, ReverbSettings, ChorusSettings, NoiseReductionSettings>;

EffectKind kind(const EffectSettings& settings);
// The kind's default record; for eq the six default bands, each with a fresh id.
EffectSettings defaultSettings(EffectKind kind);

// The record with every non-finite number (NaN, ±infinity) replaced by the default record's
// value of that field: what a processor's apply() does for the fields without a fallback of
// their own, before clamping. These records hold no
// arrays, so this allocates nothing and is safe on the audio thread.
CompressorSettings withFiniteFields(CompressorSettings settings);
GateSettings withFiniteFields(GateSettings settings);
DistortionSettings withFiniteFields(DistortionSettings settings);
DelaySettings withFiniteFields(DelaySettings settings);
ReverbSettings withFiniteFields(ReverbSettings settings);
ChorusSettings withFiniteFields(ChorusSettings settings);

// Hashes fed with every stored field in declaration order; -0 and +0 hash alike.
size_t hashValue(const EQBand& band);
size_t hashValue(const EQSettings& settings);
size_t hashValue(const CompressorSettings& settings);
size_t hashValue(const GateSettings& settings);
size_t hashValue(const DistortionSettings& settings);
size_t hashValue(const DelaySettings& settings);
size_t hashValue(const ReverbSettings& settings);
size_t hashValue(const ChorusSettings& settings);
size_t hashValue(const NoiseProfile& profile);
size_t hashValue(const NoiseReductionSettings& settings);

// JSON form. The union is {"<case>": {"_0": {record}}}; a record has one member per field
// (field names; "profile" only when present). Enumerations and EffectKind are their raw value
// text, band ids upper-case UUID text (read in any case).
// Encoding throws EncodingError on a NaN or infinite number; the target is then untouched.
// Decoding throws DecodingError on a missing member, a wrong JSON type, a non-integral Int,
// unknown enumeration text, an invalid UUID, or a union object without exactly one case member
// ("Invalid number of keys found, expected one.", with the union object's coding path); the
// target is then untouched. Members that are not fields are ignored; nothing receives a default.
void to_json(Json& json, const EffectSettings& settings);
void from_json(const Json& json, EffectSettings& settings);
// The union read where it sits in a larger document, at `codingPath` ("reverb.Warm room"): the
// coding paths of its failures begin there. from_json reads it at "".
EffectSettings decodeEffectSettings(const Json& json, const std::string& codingPath);
void to_json(Json& json, const EQBand& band);
void to_json(Json& json, const EQSettings& settings);
void from_json(const Json& json, EQSettings& settings);
void to_json(Json& json, const CompressorSettings& settings);
void from_json(const Json& json, CompressorSettings& settings);
void to_json(Json& json, const GateSettings& settings);
void from_json(const Json& json, GateSettings& settings);
void to_json(Json& json, const DistortionSettings& settings);
void from_json(const Json& json, DistortionSettings& settings);
void to_json(Json& json, const DelaySettings& settings);
void from_json(const Json& json, DelaySettings& settings);
void to_json(Json& json, const ReverbSettings& settings);
void from_json(const Json& json, ReverbSettings& settings);
void to_json(Json& json, const ChorusSettings& settings);
void from_json(const Json& json, ChorusSettings& settings);
void to_json(Json& json, const NoiseProfile& profile);
void from_json(const Json& json, NoiseProfile& profile);
void to_json(Json& json, const NoiseReductionSettings& settings);
void from_json(const Json& json, NoiseReductionSettings& settings);
void to_json(Json& json, EffectKind kind);
void from_json(const Json& json, EffectKind& kind);
void to_json(Json& json, EQBandType type);
void from_json(const Json& json, EQBandType& type);
void to_json(Json& json, DetectionMode mode);
void from_json(const Json& json, DetectionMode& mode);
void to_json(Json& json, SaturationMode mode);
void from_json(const Json& json, SaturationMode& mode);
void to_json(Json& json, ModulationMode mode);
void from_json(const Json& json, ModulationMode& mode);

} // namespace quar

// EQBand has no default value: it decodes through the serializer (json.get<EQBand>()).
template <>
struct nlohmann::adl_serializer<quar::EQBand> {
  static quar::EQBand from_json(const quar::Json& json);
  static void to_json(quar::Json& json, const quar::EQBand& band) { quar::to_json(json, band); }
};

#define QUAR_EFFECT_SETTINGS_HASH(Type)                                                   \
  template <>                                                                             \
  struct std::hash<quar::Type> {                                                          \
    size_t operator()(const quar::Type& value) const noexcept { return quar::hashValue(value); } \
  };
QUAR_EFFECT_SETTINGS_HASH(EQBand)
QUAR_EFFECT_SETTINGS_HASH(EQSettings)
QUAR_EFFECT_SETTINGS_HASH(CompressorSettings)
QUAR_EFFECT_SETTINGS_HASH(GateSettings)
QUAR_EFFECT_SETTINGS_HASH(DistortionSettings)
QUAR_EFFECT_SETTINGS_HASH(DelaySettings)
QUAR_EFFECT_SETTINGS_HASH(ReverbSettings)
QUAR_EFFECT_SETTINGS_HASH(ChorusSettings)
QUAR_EFFECT_SETTINGS_HASH(NoiseProfile)
QUAR_EFFECT_SETTINGS_HASH(NoiseReductionSettings)
#undef QUAR_EFFECT_SETTINGS_HASH
// std::hash<EffectSettings> is the standard variant hash: the case index plus the record's hash.
