#include "base/AudioFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"

namespace quar {

std::string_view rawValue(ExportFormat format) {
  switch (format) {
  case ExportFormat::wav: return "wav";
  case ExportFormat::aiff: return "aiff";
  case ExportFormat::caf: return "caf";
  case ExportFormat::flac: return "flac";
  case ExportFormat::alac: return "alac";
  case ExportFormat::aac: return "aac";
  case ExportFormat::mp3: return "mp3";
  case ExportFormat::opus: return "opus";
  }
  std::abort();
}

std::string_view displayName(ExportFormat format) {
  switch (format) {
  case ExportFormat::wav: return "WAV";
  case ExportFormat::aiff: return "AIFF";
  case ExportFormat::caf: return "Core Audio (CAF)";
  case ExportFormat::flac: return "FLAC";
  case ExportFormat::alac: return "Apple Lossless (ALAC)";
  case ExportFormat::aac: return "AAC";
  case ExportFormat::mp3: return "MP3";
  case ExportFormat::opus: return "Opus";
  }
  std::abort();
}

std::string_view fileExtension(ExportFormat format) {
  switch (format) {
  case ExportFormat::alac:
  case ExportFormat::aac: return "m4a";
  default: return rawValue(format);
  }
}

std::string_view typeIdentifier(ExportFormat format) {
  switch (format) {
  case ExportFormat::wav: return "com.microsoft.waveform-audio";
  case ExportFormat::aiff: return "public.aiff-audio";
  case ExportFormat::caf: return "com.apple.coreaudio-format";
  case ExportFormat::flac: return "org.xiph.flac";
  case ExportFormat::alac:
  case ExportFormat::aac: return "com.apple.m4a-audio";
  case ExportFormat::mp3: return "public.mp3";
  case ExportFormat::opus: return "org.xiph.opus";
  }
  std::abort();
}

bool isPCM(ExportFormat format) {
  return format == ExportFormat::wav || format == ExportFormat::aiff || format == ExportFormat::caf;
}

bool isLossy(ExportFormat format) {
  return format == ExportFormat::aac || format == ExportFormat::mp3 || format == ExportFormat::opus;
}

int maxChannels(ExportFormat format) {
  return format == ExportFormat::mp3 || format == ExportFormat::opus ? 2 : 8;
}

std::vector<PCMBitDepth> supportedBitDepths(ExportFormat format) {
  using enum PCMBitDepth;
  switch (format) {
  case ExportFormat::wav:
  case ExportFormat::caf: return {int16, int24, int32, float32};
  case ExportFormat::aiff:
  case ExportFormat::alac: return {int16, int24, int32};
  case ExportFormat::flac: return {int16, int24};
  default: return {};
  }
}

std::vector<int> supportedBitRates(ExportFormat format) {
  switch (format) {
  case ExportFormat::aac: return {64, 96, 128, 160, 192, 256, 320};
  case ExportFormat::mp3: return {96, 128, 160, 192, 224, 256, 320};
  case ExportFormat::opus: return {60, 80, 100, 120, 160, 256};
  default: return {};
  }
}

std::optional<std::vector<double>> supportedSampleRates(ExportFormat format) {
  switch (format) {
  case ExportFormat::aac:
    return std::vector<double>{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
  case ExportFormat::mp3: return std::vector<double>{32000, 44100, 48000};
  case ExportFormat::opus: return std::vector<double>{48000};
  default: return std::nullopt;
  }
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
  settings.bitRateKbps = format == ExportFormat::mp3 ? 320 : format == ExportFormat::opus ? 160 : 256;
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
