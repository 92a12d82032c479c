#include "io/platform/CoreAudioSupport.h"

#include <cmath>
#include <utility>

#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "io/ExportCodec.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/CodecServices.h"

namespace quar {

namespace {

template <size_t N>
std::optional<std::string> lookUp(uint32_t code, const std::pair<uint32_t, const char*> (&table)[N]) {
  for (const auto& [key, name] : table)
    if (key == code) return std::string(name);
  return std::nullopt;
}

std::optional<uint32_t> tagFromTable(int channels, const int (&numbers)[8]) {
  if (channels < 1 || channels > 8) return std::nullopt;
  return AudioChannelLayout::makeTag(static_cast<uint32_t>(numbers[channels - 1]), static_cast<uint32_t>(channels));
}

} // namespace

std::string FourCC::string(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned char>(code >> shift & 0xFF);
    if (byte < 32 || byte > 126) return std::to_string(code);
    text += static_cast<char>(byte);
  }
  return text;
}

std::string FourCC::status(int32_t status) {
  const auto code = static_cast<uint32_t>(status);
  std::string text = "status " + std::to_string(status);
  const std::string characters = string(code);
  if (characters != std::to_string(code)) text += " '" + characters + "'";
  return text;
}

std::string CoreAudioNames::container(uint32_t fileType) {
  static constexpr std::pair<uint32_t, const char*> table[] = {
      {fourCharCode("WAVE"), "WAVE"},   {fourCharCode("RF64"), "RF64"},     {fourCharCode("BW64"), "BW64"},       {fourCharCode("W64f"), "Wave64"},
      {fourCharCode("caff"), "CAF"},    {fourCharCode("AIFF"), "AIFF"},     {fourCharCode("AIFC"), "AIFF-C"},     {fourCharCode("flac"), "FLAC"},
      {fourCharCode("Oggf"), "Ogg"},    {fourCharCode("3gp2"), "3GPP2"},    {fourCharCode("3gpp"), "3GPP"},       {fourCharCode("MPG1"), "MPEG Audio"},
      {fourCharCode("MPG2"), "MPEG Audio"}, {fourCharCode("MPG3"), "MPEG Audio"}, {fourCharCode("NeXT"), "NeXT/Sun"}, {fourCharCode("Sd2f"), "Sound Designer II"},
      {fourCharCode("m4af"), "MPEG-4"}, {fourCharCode("m4bf"), "MPEG-4"},   {fourCharCode("mp4f"), "MPEG-4"},     {fourCharCode("loas"), "LOAS"},
      {fourCharCode("amrf"), "AMR"},    {fourCharCode("ec-3"), "E-AC-3"},   {fourCharCode("ac-3"), "AC-3"},       {fourCharCode("adts"), "ADTS"},
  };
  return lookUp(fileType, table).value_or(FourCC::string(fileType));
}

std::string CoreAudioNames::codec(uint32_t formatID) {
  switch (formatID) {
  case AudioFormatID::microsoftADPCM: return "Microsoft ADPCM";
  case AudioFormatID::microsoftIMA: return "IMA ADPCM";
  case AudioFormatID::microsoftGSM: return "GSM 6.10";
  default: break;
  }
  static constexpr std::pair<uint32_t, const char*> table[] = {
      {fourCharCode("aac "), "AAC"},          {fourCharCode("aace"), "AAC-ELD"},      {fourCharCode("aacf"), "AAC-ELD"},      {fourCharCode("aacg"), "AAC-ELD"},
      {fourCharCode("aach"), "HE-AAC"},       {fourCharCode("aacl"), "AAC-LD"},       {fourCharCode("aacp"), "HE-AAC v2"},    {fourCharCode("usac"), "xHE-AAC"},
      {fourCharCode("alac"), "Apple Lossless"}, {fourCharCode("lpcm"), "Linear PCM"}, {fourCharCode("flac"), "FLAC"},         {fourCharCode(".mp1"), "MPEG Layer I"},
      {fourCharCode(".mp2"), "MPEG Layer II"}, {fourCharCode(".mp3"), "MP3"},         {fourCharCode("opus"), "Opus"},         {fourCharCode("vorb"), "Vorbis"},
      {fourCharCode("QDM2"), "QDesign"},      {fourCharCode("QDMC"), "QDesign"},      {fourCharCode("MAC3"), "MACE 3:1"},     {fourCharCode("MAC6"), "MACE 6:1"},
      {fourCharCode("alaw"), "A-law"},        {fourCharCode("ulaw"), "\u00B5-law"},   {fourCharCode("Qclp"), "QCELP"},        {fourCharCode("ac-3"), "AC-3"},
      {fourCharCode("ec-3"), "E-AC-3"},       {fourCharCode("ima4"), "IMA 4:1 ADPCM"}, {fourCharCode("ilbc"), "iLBC"},        {fourCharCode("samr"), "AMR"},
      {fourCharCode("sawb"), "AMR-WB"},       {fourCharCode("apac"), "APAC"},
  };
  return lookUp(formatID, table).value_or(FourCC::string(formatID));
}

std::optional<ExportFormat> CoreAudioNames::nativeExportFormat(uint32_t fileType, uint32_t formatID) {
  return exportFormatOfNativeFile(fileType, formatID);
}

std::optional<uint32_t> ChannelLayouts::canonicalTag(int channels) {
  static const int numbers[8] = {100, 101, 113, 108, 117, 121, 188, 189};
  return tagFromTable(channels, numbers);
}

std::optional<uint32_t> ChannelLayouts::alacTag(int channels) {
  static const int numbers[8] = {100, 101, 114, 116, 120, 124, 142, 127};
  return tagFromTable(channels, numbers);
}

std::optional<uint32_t> ChannelLayouts::aacTag(int channels) {
  static const int numbers[8] = {100, 101, 114, 108, 120, 124, 142, 183};
  return tagFromTable(channels, numbers);
}

std::optional<std::vector<uint32_t>> ChannelLayouts::labels(const AudioChannelLayout& layout) {
  return channelLabels(layout);
}

std::optional<std::vector<uint32_t>> ChannelLayouts::fileLabels(const NativeAudioFile& file) {
  const auto layout = file.fileChannelLayout();
  if (!layout) return std::nullopt;
  return labels(*layout);
}

bool ChannelLayouts::installCanonicalClientLayout(NativeAudioFile& file, int channels) {
  if (channels < 3 || channels > 8) return false;
  const uint32_t tag = *canonicalTag(channels);
  const auto canonical = labels(AudioChannelLayout::withTag(tag));
  const auto stored = fileLabels(file);
  if (!canonical || !stored) return false;
  const auto count = static_cast<size_t>(channels);
  if (canonical->size() != count || stored->size() != count) return false;
  if (*stored == *canonical) return false;
  if (!channelPermutation(*stored, *canonical)) return false;
  return file.setClientChannelLayout(AudioChannelLayout::withTag(tag)) == AudioStatus::ok;
}

std::vector<std::vector<float>> ChannelLayouts::downmixMatrix(int from, int to) {
  QUAR_PRECONDITION(to >= 1 && to < from, "A downmix reduces the channel count");
  const auto sources = static_cast<size_t>(from);
  std::vector<std::vector<float>> matrix(static_cast<size_t>(to), std::vector<float>(sources, 0.0f));
  constexpr float h = 0.70710677f;
  if (to == 2 && from <= 8) {
    using Pair = std::pair<float, float>;
    static const std::vector<std::vector<Pair>> pairs{
        {{1, 0}, {0, 1}, {h, h}},
        {{1, 0}, {0, 1}, {h, 0}, {0, h}},
        {{1, 0}, {0, 1}, {h, h}, {h, 0}, {0, h}},
        {{1, 0}, {0, 1}, {h, h}, {0, 0}, {h, 0}, {0, h}},
        {{1, 0}, {0, 1}, {h, h}, {0, 0}, {0.5f, 0.5f}, {h, 0}, {0, h}},
        {{1, 0}, {0, 1}, {h, h}, {0, 0}, {h, 0}, {0, h}, {h, 0}, {0, h}},
    };
    const auto& columns = pairs[static_cast<size_t>(from - 3)];
    for (size_t i = 0; i < sources; ++i) {
      matrix[0][i] = columns[i].first;
      matrix[1][i] = columns[i].second;
    }
  } else if (to == 2) {
    for (size_t i = 0; i < sources; ++i) matrix[i % 2][i] = 1;
  } else if (to == 1) {
    for (size_t i = 0; i < sources; ++i) matrix[0][i] = from >= 6 && from <= 8 && i == 3 ? 0.0f : 1.0f;
  } else {
    for (size_t i = 0; i < sources; ++i) matrix[i % static_cast<size_t>(to)][i] = 1;
  }
  for (auto& row : matrix) {
    float sum = 0;
    for (float gain : row) sum += gain;
    if (sum > 1.0f)
      for (float& gain : row) gain /= sum;
  }
  return matrix;
}

std::optional<std::vector<double>> CodecCapabilities::encodeSampleRates(uint32_t formatID) {
  return CodecServices::encodeSampleRates(formatID);
}

double CodecCapabilities::nearest(double rate, const std::vector<double>& rates) {
  if (rates.empty()) return rate;
  double best = rates.front();
  for (double candidate : rates) {
    const double distance = std::abs(candidate - rate);
    const double bestDistance = std::abs(best - rate);
    if (distance < bestDistance || (distance == bestDistance && candidate > best)) best = candidate;
  }
  return best;
}

StreamDescription StreamFormats::compressed(uint32_t formatID, double sampleRate, int channels, uint32_t flags) {
  QUAR_PRECONDITION(channels >= 0, "Channel count must fit an unsigned 32-bit value");
  StreamDescription format;
  format.sampleRate = sampleRate;
  format.formatID = formatID;
  format.formatFlags = flags;
  format.channelsPerFrame = static_cast<uint32_t>(channels);
  const int32_t status = CodecServices::completeCompressedFormat(format);
  if (status == AudioStatus::ok) return format;
  const std::string rate = std::isfinite(sampleRate) && std::abs(sampleRate) < 9e18 ? std::to_string(checkedInt(sampleRate)) : formatDouble(sampleRate);
  throw QuarError::encodeFailed("Describing " + CoreAudioNames::codec(formatID) + " at " + rate + " Hz \u00D7 " +
                                std::to_string(channels) + " failed (" + FourCC::status(status) + ")");
}

} // namespace quar
