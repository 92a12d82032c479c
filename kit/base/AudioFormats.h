// The vocabulary of output files: export formats with their fixed properties (one
// ExportFormatRecord per format), PCM sample formats, dither modes, the settings of one export (EncodeSettings, with its JSON form), and
// AudioFileInfo, the description of an opened file. Immutable values and pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Enums.h"
#include "base/Json.h"

namespace quar {

enum class ExportFormat { wav, aiff, caf, flac, alac, aac, mp3, opus };

template <>
struct EnumCases<ExportFormat> {
  static constexpr std::array values{ExportFormat::wav,  ExportFormat::aiff, ExportFormat::caf,
                                     ExportFormat::flac, ExportFormat::alac, ExportFormat::aac,
                                     ExportFormat::mp3,  ExportFormat::opus};
};

enum class PCMBitDepth { int16, int24, int32, float32 };

template <>
struct EnumCases<PCMBitDepth> {
  static constexpr std::array values{PCMBitDepth::int16, PCMBitDepth::int24, PCMBitDepth::int32,
                                     PCMBitDepth::float32};
};

enum class DitherMode { none, tpdf };

template <>
struct EnumCases<DitherMode> {
  static constexpr std::array values{DitherMode::none, DitherMode::tpdf};
};

// One export format's fixed properties. Adding a format means adding its case, its record
// here and its ExportCodec (io).
struct ExportFormatRecord {
  ExportFormat format;
  std::string_view rawValue;  // also the format's id and its persisted form
  std::string_view displayName;
  std::string_view fileExtension;   // of written files
  std::string_view typeIdentifier;  // of written files
  // The extensions and type identifiers that stand for this format when saving under a
  // chosen type (FormatCatalog); no two records share one. ALAC claims none of "m4a"'s: an
  // M4A file is AAC unless its codec says otherwise.
  std::span<const std::string_view> claimedExtensions;
  std::span<const std::string_view> claimedTypeIdentifiers;
  bool isPCM;
  bool isLossy;
  int maxChannels;
  std::span<const PCMBitDepth> bitDepths;
  std::span<const int> bitRates;        // kbit/s, ascending; empty: no rate list
  std::span<const double> sampleRates;  // Hz, ascending; empty: any rate
  int64_t defaultBitRateKbps;           // of EncodeSettings::defaults
};

// Every format's record, in allCases order.
std::span<const ExportFormatRecord> exportFormatRecords();
const ExportFormatRecord& exportFormatRecord(ExportFormat format);

// ExportFormat properties, read from its record. rawValue is also the format's id.
inline std::string_view rawValue(ExportFormat format) { return exportFormatRecord(format).rawValue; }
inline std::string_view displayName(ExportFormat format) { return exportFormatRecord(format).displayName; }
inline std::string_view fileExtension(ExportFormat format) { return exportFormatRecord(format).fileExtension; }
inline std::string_view typeIdentifier(ExportFormat format) { return exportFormatRecord(format).typeIdentifier; }
inline bool isPCM(ExportFormat format) { return exportFormatRecord(format).isPCM; }
inline bool isLossy(ExportFormat format) { return exportFormatRecord(format).isLossy; }
inline int maxChannels(ExportFormat format) { return exportFormatRecord(format).maxChannels; }
std::vector<PCMBitDepth> supportedBitDepths(ExportFormat format);
// kbit/s, ascending; empty for formats without a rate list.
std::vector<int> supportedBitRates(ExportFormat format);
// Hz, ascending; absent for formats that take any rate.
std::optional<std::vector<double>> supportedSampleRates(ExportFormat format);

// Sample-rate conversion (offline and in exports) takes rates that are finite and > 0 whose
// ratio lies in [1/64, 64]; beyond that the converter stalls or the output is absurdly long.
constexpr double maxRateConversionRatio = 64;
bool isSupportedRateConversion(double from, double to);
// A conversion's rates as messages show them: "44100.0 Hz -> 48000.0 Hz".
std::string rateConversionText(double from, double to);

// PCMBitDepth properties: raw values 16, 24, 32 and 0 (float32).
int rawValue(PCMBitDepth depth);
int bits(PCMBitDepth depth);
bool isFloat(PCMBitDepth depth);
std::string displayName(PCMBitDepth depth);

std::string_view rawValue(DitherMode mode);
std::string_view displayName(DitherMode mode);

// The settings of one export.
struct EncodeSettings {
  ExportFormat format = ExportFormat::wav;
  PCMBitDepth bitDepth = PCMBitDepth::int24;
  int64_t bitRateKbps = 256;
  DitherMode dither = DitherMode::tpdf;
  std::optional<double> sampleRate;  // Hz; absent = the source's rate

  // The starting settings for a format (not normalised).
  static EncodeSettings defaults(ExportFormat format);
  // Depth and bit rate made consistent with the format's tables.
  EncodeSettings normalized() const;

  bool operator==(const EncodeSettings&) const = default;
};

void to_json(Json& json, const EncodeSettings& settings);
// Throws DecodingError on a missing required key, a wrong type or an unknown raw value.
void from_json(const Json& json, EncodeSettings& settings);

// What a file may state about its audio; readers refuse other values. Rates in Hz.
constexpr double minFileSampleRate = 1;
constexpr double maxFileSampleRate = 1'536'000;
// Frames one byte of compressed audio may hold at most (FLAC's constant blocks come nearest).
constexpr int64_t maxFramesPerCompressedByte = 65536;
// Finite and within [minFileSampleRate, maxFileSampleRate].
bool isPlausibleSampleRate(double rate);
// Whether a file of `fileBytes` bytes can hold `frames` (>= 0) frames: `bytesPerFrame` bytes
// each for PCM, or, with `bytesPerFrame` 0 (compressed audio), maxFramesPerCompressedByte per
// byte.
bool canHoldFrames(int64_t fileBytes, int64_t frames, int64_t bytesPerFrame);

// A file that was read past damage: how much of it the file declares. Frames; 0 when unknown.
struct DecodeDamage {
  int64_t declaredFrames = 0;
  bool operator==(const DecodeDamage&) const = default;
};

// The description of an opened audio file.
struct AudioFileInfo {
  std::optional<std::filesystem::path> url;
  std::string containerName;
  std::string codecName;
  double sampleRate = 0;  // Hz
  int channelCount = 0;
  std::optional<int> bitDepth;
  bool isFloat = false;
  std::optional<int> bitRateKbps;  // kbit/s
  int64_t frameCount = 0;
  std::optional<int64_t> fileSize;  // bytes
  bool isLossy = false;
  std::optional<ExportFormat> nativeExportFormat;
  std::string decoderName;
  // Set by a decode that could read the file only past damage (with the FFmpeg tools after the
  // native reader failed); frameCount then holds what could be read.
  std::optional<DecodeDamage> damage;

  // Seconds; 0 when the rate is not positive.
  double duration() const { return sampleRate > 0 ? static_cast<double>(frameCount) / sampleRate : 0; }

  bool operator==(const AudioFileInfo&) const = default;
};

} // namespace quar

// Hashes over the same fields as equality.
template <>
struct std::hash<quar::EncodeSettings> {
  size_t operator()(const quar::EncodeSettings& settings) const noexcept;
};

template <>
struct std::hash<quar::AudioFileInfo> {
  size_t operator()(const quar::AudioFileInfo& info) const noexcept;
};
