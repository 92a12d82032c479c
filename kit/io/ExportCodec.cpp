#include "io/ExportCodec.h"

#include <algorithm>

#include "base/CaseTable.h"
#include "io/platform/CoreAudioSupport.h"
#include "io/platform/StreamDescription.h"

namespace quar {

namespace {

using Writer = ExportCodec::Writer;

constexpr uint32_t wavFiles[] = {AudioFileTypeID::wave, AudioFileTypeID::rf64, AudioFileTypeID::bw64,
                                 AudioFileTypeID::wave64};
constexpr uint32_t aiffFiles[] = {AudioFileTypeID::aiff, AudioFileTypeID::aifc};
constexpr uint32_t cafFiles[] = {AudioFileTypeID::caf};
constexpr uint32_t flacFiles[] = {AudioFileTypeID::flac};
constexpr uint32_t mpeg4Files[] = {AudioFileTypeID::m4a, AudioFileTypeID::mpeg4, AudioFileTypeID::m4b};
constexpr uint32_t aacFiles[] = {AudioFileTypeID::adts, AudioFileTypeID::m4a, AudioFileTypeID::mpeg4,
                                 AudioFileTypeID::m4b};
constexpr uint32_t mp3Files[] = {AudioFileTypeID::mp3};
constexpr uint32_t oggFiles[] = {CAFileType::ogg};

constexpr std::string_view wavNames[] = {"wav", "w64"};
constexpr std::string_view aiffNames[] = {"aiff"};
constexpr std::string_view cafNames[] = {"caf"};
constexpr std::string_view flacNames[] = {"flac"};
constexpr std::string_view mpeg4Names[] = {"mp4", "m4a", "mov"};
constexpr std::string_view mp3Names[] = {"mp3"};
constexpr std::string_view oggNames[] = {"ogg"};

constexpr auto canonical = &ChannelLayouts::canonicalTag;

constexpr ExportCodec codecs[] = {
    {.format = ExportFormat::wav, .writer = Writer::pcmFile, .formatID = AudioFormatID::linearPCM,
     .fileType = AudioFileTypeID::wave, .largeFileType = AudioFileTypeID::rf64, .bigEndian = false,
     .layoutTag = canonical, .encoderNarrowsRates = false, .nativeFileTypes = wavFiles,
     .nativeCodec = AudioFormatID::linearPCM, .ffmpegFormats = wavNames, .ffmpegCodec = "pcm_*"},
    {.format = ExportFormat::aiff, .writer = Writer::pcmFile, .formatID = AudioFormatID::linearPCM,
     .fileType = AudioFileTypeID::aiff, .largeFileType = std::nullopt, .bigEndian = true, .layoutTag = canonical,
     .encoderNarrowsRates = false, .nativeFileTypes = aiffFiles, .nativeCodec = AudioFormatID::linearPCM,
     .ffmpegFormats = aiffNames, .ffmpegCodec = "pcm_*"},
    {.format = ExportFormat::caf, .writer = Writer::pcmFile, .formatID = AudioFormatID::linearPCM,
     .fileType = AudioFileTypeID::caf, .largeFileType = std::nullopt, .bigEndian = false, .layoutTag = canonical,
     .encoderNarrowsRates = false, .nativeFileTypes = cafFiles, .nativeCodec = std::nullopt,
     .ffmpegFormats = cafNames, .ffmpegCodec = ""},
    {.format = ExportFormat::flac, .writer = Writer::codecFile, .formatID = AudioFormatID::flac,
     .fileType = AudioFileTypeID::flac, .largeFileType = std::nullopt, .bigEndian = false, .layoutTag = canonical,
     .encoderNarrowsRates = false, .nativeFileTypes = flacFiles, .nativeCodec = std::nullopt,
     .ffmpegFormats = flacNames, .ffmpegCodec = ""},
    {.format = ExportFormat::alac, .writer = Writer::codecFile, .formatID = AudioFormatID::appleLossless,
     .fileType = AudioFileTypeID::m4a, .largeFileType = std::nullopt, .bigEndian = false,
     .layoutTag = &ChannelLayouts::alacTag, .encoderNarrowsRates = false, .nativeFileTypes = mpeg4Files,
     .nativeCodec = AudioFormatID::appleLossless, .ffmpegFormats = mpeg4Names, .ffmpegCodec = "alac"},
    {.format = ExportFormat::aac, .writer = Writer::codecFile, .formatID = AudioFormatID::mpeg4AAC,
     .fileType = AudioFileTypeID::m4a, .largeFileType = std::nullopt, .bigEndian = false,
     .layoutTag = &ChannelLayouts::aacTag, .encoderNarrowsRates = true, .nativeFileTypes = aacFiles,
     .nativeCodec = AudioFormatID::mpeg4AAC, .ffmpegFormats = mpeg4Names, .ffmpegCodec = "aac"},
    {.format = ExportFormat::mp3, .writer = Writer::mp3, .formatID = AudioFormatID::mpegLayer3, .fileType = 0,
     .largeFileType = std::nullopt, .bigEndian = false, .layoutTag = nullptr, .encoderNarrowsRates = false,
     .nativeFileTypes = mp3Files, .nativeCodec = std::nullopt, .ffmpegFormats = mp3Names, .ffmpegCodec = ""},
    {.format = ExportFormat::opus, .writer = Writer::oggOpus, .formatID = AudioFormatID::opus, .fileType = 0,
     .largeFileType = std::nullopt, .bigEndian = false, .layoutTag = nullptr, .encoderNarrowsRates = false,
     .nativeFileTypes = oggFiles, .nativeCodec = AudioFormatID::opus, .ffmpegFormats = oggNames,
     .ffmpegCodec = "opus"},
};

template <typename Name>
bool names(std::span<const Name> containers, const Name& name) {
  return std::ranges::find(containers, name) != containers.end();
}

// The rule of exportFormatOfNativeFile and exportFormatOfProbedFile, with `containersOf` a
// record's container names and `holdsCodec` whether the file's codec is the one it needs.
template <typename Name, typename Containers, typename HoldsCodec>
std::optional<ExportFormat> exportFormatOf(std::span<const Name> fileContainers, Containers containersOf,
                                           HoldsCodec holdsCodec) {
  for (const ExportCodec& picker : codecs) {
    const std::span<const Name> containers = containersOf(picker);
    const auto picked = std::ranges::find_if(containers, [&](const Name& name) { return names(fileContainers, name); });
    if (picked == containers.end()) continue;
    for (const ExportCodec& codec : codecs)
      if (names(containersOf(codec), *picked) && holdsCodec(codec)) return codec.format;
    return std::nullopt;
  }
  return std::nullopt;
}

static_assert(isCaseTable(codecs, &ExportCodec::format), "one record per export format, in case order");

} // namespace

std::span<const ExportCodec> exportCodecs() { return codecs; }

const ExportCodec& exportCodec(ExportFormat format) { return codecs[caseIndex(format)]; }

std::optional<ExportFormat> exportFormatOfNativeFile(uint32_t fileType, uint32_t formatID) {
  const uint32_t fileTypes[] = {fileType};
  return exportFormatOf<uint32_t>(
      fileTypes, [](const ExportCodec& codec) { return codec.nativeFileTypes; },
      [formatID](const ExportCodec& codec) { return !codec.nativeCodec || *codec.nativeCodec == formatID; });
}

std::optional<ExportFormat> exportFormatOfProbedFile(std::span<const std::string_view> formatNames,
                                                     std::string_view codecName) {
  return exportFormatOf<std::string_view>(
      formatNames, [](const ExportCodec& codec) { return codec.ffmpegFormats; },
      [codecName](const ExportCodec& codec) {
        const std::string_view wanted = codec.ffmpegCodec;
        if (wanted.ends_with('*')) return codecName.starts_with(wanted.substr(0, wanted.size() - 1));
        return wanted.empty() || codecName == wanted;
      });
}

} // namespace quar
