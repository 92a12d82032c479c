#include "base/AudioFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/CaseTable.h"
#include "base/Numbers.h"

namespace quar {

namespace {

using enum PCMBitDepth;

constexpr std::string_view wavExtensions[] = {"wav", "wave", "bwf", "rf64", "w64"};
constexpr std::string_view aiffExtensions[] = {"aif", "aiff", "aifc"};
constexpr std::string_view cafExtensions[] = {"caf"};
constexpr std::string_view flacExtensions[] = {"flac"};
constexpr std::string_view alacExtensions[] = {"alac"};
constexpr std::string_view aacExtensions[] = {"m4a", "m4b", "mp4", "aac", "adts"};
constexpr std::string_view mp3Extensions[] = {"mp3"};
constexpr std::string_view opusExtensions[] = {"opus"};

constexpr std::string_view wavTypes[] = {"com.microsoft.waveform-audio", "public.wav", "com.microsoft.wave"};
constexpr std::string_view aiffTypes[] = {"public.aiff-audio", "public.aifc-audio", "com.apple.aiff-audio"};
constexpr std::string_view cafTypes[] = {"com.apple.coreaudio-format"};
constexpr std::string_view flacTypes[] = {"org.xiph.flac", "public.flac"};
constexpr std::string_view aacTypes[] = {"com.apple.m4a-audio", "public.mpeg-4-audio", "public.aac-audio",
                                         "com.apple.m4b-audio"};
constexpr std::string_view mp3Types[] = {"public.mp3", "public.mpeg-3"};
constexpr std::string_view opusTypes[] = {"org.xiph.opus"};

constexpr PCMBitDepth allDepths[] = {int16, int24, int32, float32};
constexpr PCMBitDepth integerDepths[] = {int16, int24, int32};
constexpr PCMBitDepth flacDepths[] = {int16, int24};

constexpr int aacBitRates[] = {64, 96, 128, 160, 192, 256, 320};
constexpr int mp3BitRates[] = {96, 128, 160, 192, 224, 256, 320};
constexpr int opusBitRates[] = {60, 80, 100, 120, 160, 256};

constexpr double aacRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
constexpr double mp3Rates[] = {32000, 44100, 48000};
constexpr double opusRates[] = {48000};

constexpr ExportFormatRecord records[] = {
    {.format = ExportFormat::wav, .rawValue = "wav", .displayName = "WAV", .fileExtension = "wav",
     .typeIdentifier = "com.microsoft.waveform-audio", .claimedExtensions = wavExtensions,
     .claimedTypeIdentifiers = wavTypes, .isPCM = true, .isLossy = false, .maxChannels = 8, .bitDepths = allDepths,
     .bitRates = {}, .sampleRates = {}, .defaultBitRateKbps = 256},
    {.format = ExportFormat::aiff, .rawValue = "aiff", .displayName = "AIFF", .fileExtension = "aiff",
     .typeIdentifier = "public.aiff-audio", .claimedExtensions = aiffExtensions, .claimedTypeIdentifiers = aiffTypes,
     .isPCM = true, .isLossy = false, .maxChannels = 8, .bitDepths = integerDepths, .bitRates = {}, .sampleRates = {},
     .defaultBitRateKbps = 256},
    {.format = ExportFormat::caf, .rawValue = "caf", .displayName = "Core Audio (CAF)", .fileExtension = "caf",
     .typeIdentifier = "com.apple.coreaudio-format", .claimedExtensions = cafExtensions,
     .claimedTypeIdentifiers = cafTypes, .isPCM = true, .isLossy = false, .maxChannels = 8, .bitDepths = allDepths,
     .bitRates = {}, .sampleRates = {}, .defaultBitRateKbps = 256},
    {.format = ExportFormat::flac, .rawValue = "flac", .displayName = "FLAC", .fileExtension = "flac",
     .typeIdentifier = "org.xiph.flac", .claimedExtensions = flacExtensions, .claimedTypeIdentifiers = flacTypes,
     .isPCM = false, .isLossy = false, .maxChannels = 8, .bitDepths = flacDepths, .bitRates = {}, .sampleRates = {},
     .defaultBitRateKbps = 256},
    {.format = ExportFormat::alac, .rawValue = "alac", .displayName = "Apple Lossless (ALAC)", .fileExtension = "m4a",
     .typeIdentifier = "com.apple.m4a-audio", .claimedExtensions = alacExtensions, .claimedTypeIdentifiers = {},
     .isPCM = false, .isLossy = false, .maxChannels = 8, .bitDepths = integerDepths, .bitRates = {}, .sampleRates = {},
     .defaultBitRateKbps = 256},
    {.format = ExportFormat::aac, .rawValue = "aac", .displayName = "AAC", .fileExtension = "m4a",
     .typeIdentifier = "com.apple.m4a-audio", .claimedExtensions = aacExtensions, .claimedTypeIdentifiers = aacTypes,
     .isPCM = false, .isLossy = true, .maxChannels = 8, .bitDepths = {}, .bitRates = aacBitRates,
     .sampleRates = aacRates, .defaultBitRateKbps = 256},
    {.format = ExportFormat::mp3, .rawValue = "mp3", .displayName = "MP3", .fileExtension = "mp3",
     .typeIdentifier = "public.mp3", .claimedExtensions = mp3Extensions, .claimedTypeIdentifiers = mp3Types,
     .isPCM = false, .isLossy = true, .maxChannels = 2, .bitDepths = {}, .bitRates = mp3BitRates,
     .sampleRates = mp3Rates, .defaultBitRateKbps = 320},
    {.format = ExportFormat::opus, .rawValue = "opus", .displayName = "Opus", .fileExtension = "opus",
     .typeIdentifier = "org.xiph.opus", .claimedExtensions = opusExtensions, .claimedTypeIdentifiers = opusTypes,
     .isPCM = false, .isLossy = true, .maxChannels = 2, .bitDepths = {}, .bitRates = opusBitRates,
     .sampleRates = opusRates, .defaultBitRateKbps = 160},
};

static_assert(isCaseTable(records, &ExportFormatRecord::format), "one record per export format, in case order");

} // namespace

std::span<const ExportFormatRecord> exportFormatRecords() { return records; }

const ExportFormatRecord& exportFormatRecord(ExportFormat format) { return records[caseIndex(format)]; }

std::vector<PCMBitDepth> supportedBitDepths(ExportFormat format) {
  const auto depths = exportFormatRecord(format).bitDepths;
  return {depths.begin(), depths.end()};
}

std::vector<int> supportedBitRates(ExportFormat format) {
  const auto rates = exportFormatRecord(format).bitRates;
  return {rates.begin(), rates.end()};
}

std::optional<std::vector<double>> supportedSampleRates(ExportFormat format) {
  const auto rates = exportFormatRecord(format).sampleRates;
  if (rates.empty()) return std::nullopt;
  return std::vector<double>(rates.begin(), rates.end());
}

bool isSupportedRateConversion(double from, double to) {
  const auto isRate = [](double rate) { return std::isfinite(rate) && rate > 0; };
  if (!isRate(from) || !isRate(to)) return false;
  const double ratio = to / from;
  return ratio >= 1 / maxRateConversionRatio && ratio <= maxRateConversionRatio;
}

bool isPlausibleSampleRate(double rate) {
  return std::isfinite(rate) && rate >= minFileSampleRate && rate <= maxFileSampleRate;
}

bool canHoldFrames(int64_t fileBytes, int64_t frames, int64_t bytesPerFrame) {
  if (frames <= 0) return true;
  if (fileBytes <= 0) return false;
  if (bytesPerFrame > 0) return frames <= fileBytes / bytesPerFrame;
  return frames / maxFramesPerCompressedByte < fileBytes;
}

std::string rateConversionText(double from, double to) {
  return formatDouble(from) + " Hz -> " + formatDouble(to) + " Hz";
}

int rawValue(PCMBitDepth depth) {
  switch (depth) {
  case PCMBitDepth::int16: return 16;
  case PCMBitDepth::int24: return 24;
  case PCMBitDepth::int32: return 32;
  case PCMBitDepth::float32: return 0;
  }
  std::abort();
}

int bits(PCMBitDepth depth) { return depth == PCMBitDepth::float32 ? 32 : rawValue(depth); }

bool isFloat(PCMBitDepth depth) { return depth == PCMBitDepth::float32; }

std::string displayName(PCMBitDepth depth) {
  return isFloat(depth) ? "32-bit float" : std::to_string(bits(depth)) + "-bit";
}

std::string_view rawValue(DitherMode mode) { return mode == DitherMode::none ? "none" : "tpdf"; }

std::string_view displayName(DitherMode mode) { return mode == DitherMode::none ? "None" : "Triangular (TPDF)"; }

EncodeSettings EncodeSettings::defaults(ExportFormat format) {
  EncodeSettings settings;
  settings.format = format;
  settings.bitDepth = PCMBitDepth::int24;
  settings.bitRateKbps = exportFormatRecord(format).defaultBitRateKbps;
  settings.dither = DitherMode::tpdf;
  return settings;
}

EncodeSettings EncodeSettings::normalized() const {
  EncodeSettings result = *this;
  const auto depths = supportedBitDepths(format);
  if (!depths.empty() && std::find(depths.begin(), depths.end(), bitDepth) == depths.end()) {
    const bool has24 = std::find(depths.begin(), depths.end(), PCMBitDepth::int24) != depths.end();
    result.bitDepth = has24 ? PCMBitDepth::int24 : depths.front();
  }
  const auto rates = isLossy(format) ? supportedBitRates(format) : std::vector<int>{};
  if (!rates.empty() && std::find(rates.begin(), rates.end(), bitRateKbps) == rates.end()) {
    // Unsigned and exact: a decoded bit rate may be any Int, so the signed difference could overflow.
    const auto distance = [this](int rate) {
      const auto a = static_cast<uint64_t>(bitRateKbps), b = static_cast<uint64_t>(static_cast<int64_t>(rate));
      return bitRateKbps >= rate ? a - b : b - a;
    };
    int best = rates.front();
    for (int rate : rates)
      if (distance(rate) < distance(best)) best = rate;
    result.bitRateKbps = best;
  }
  return result;
}

void to_json(Json& json, const EncodeSettings& settings) {
  Json object = Json::object();
  object["format"] = std::string(rawValue(settings.format));
  object["bitDepth"] = rawValue(settings.bitDepth);
  object["bitRateKbps"] = settings.bitRateKbps;
  object["dither"] = std::string(rawValue(settings.dither));
  if (settings.sampleRate) object["sampleRate"] = json::encodeDouble(*settings.sampleRate, "sampleRate");
  json = std::move(object);
}

void from_json(const Json& object, EncodeSettings& settings) {
  auto invalid = [](const std::string& key, const std::string& raw) {
    return DecodingError("Cannot initialize " + key + " from invalid value " + raw + ".");
  };
  const std::string format = json::stringMember(object, "format");
  const int64_t depth = json::intMember(object, "bitDepth");
  const int64_t bitRate = json::intMember(object, "bitRateKbps");
  const std::string dither = json::stringMember(object, "dither");
  EncodeSettings result;
  if (auto f = fromRawValue<ExportFormat>(format)) result.format = *f;
  else throw invalid("ExportFormat", format);
  if (auto d = fromRawValue<PCMBitDepth>(depth)) result.bitDepth = *d;
  else throw invalid("PCMBitDepth", std::to_string(depth));
  if (auto m = fromRawValue<DitherMode>(dither)) result.dither = *m;
  else throw invalid("DitherMode", dither);
  result.bitRateKbps = bitRate;
  if (object.contains("sampleRate") && !object["sampleRate"].is_null())
    result.sampleRate = json::doubleMember(object, "sampleRate");
  settings = result;
}

} // namespace quar

size_t std::hash<quar::EncodeSettings>::operator()(const quar::EncodeSettings& settings) const noexcept {
  size_t h = std::hash<quar::ExportFormat>{}(settings.format);
  h = h * 31 + std::hash<quar::PCMBitDepth>{}(settings.bitDepth);
  h = h * 31 + std::hash<int64_t>{}(settings.bitRateKbps);
  h = h * 31 + std::hash<quar::DitherMode>{}(settings.dither);
  return h * 31 + std::hash<std::optional<double>>{}(settings.sampleRate);
}

size_t std::hash<quar::AudioFileInfo>::operator()(const quar::AudioFileInfo& info) const noexcept {
  size_t h = info.url ? std::filesystem::hash_value(*info.url) : 1;
  h = h * 31 + std::hash<std::string>{}(info.containerName);
  h = h * 31 + std::hash<std::string>{}(info.codecName);
  h = h * 31 + std::hash<double>{}(info.sampleRate);
  h = h * 31 + std::hash<int>{}(info.channelCount);
  h = h * 31 + std::hash<std::optional<int>>{}(info.bitDepth);
  h = h * 31 + std::hash<bool>{}(info.isFloat);
  h = h * 31 + std::hash<std::optional<int>>{}(info.bitRateKbps);
  h = h * 31 + std::hash<int64_t>{}(info.frameCount);
  h = h * 31 + std::hash<std::optional<int64_t>>{}(info.fileSize);
  h = h * 31 + std::hash<bool>{}(info.isLossy);
  h = h * 31 + std::hash<std::optional<quar::ExportFormat>>{}(info.nativeExportFormat);
  h = h * 31 + std::hash<std::string>{}(info.decoderName);
  const std::optional<int64_t> damage = info.damage ? std::optional(info.damage->declaredFrames) : std::nullopt;
  return h * 31 + std::hash<std::optional<int64_t>>{}(damage);
}
