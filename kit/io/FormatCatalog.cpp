#include "io/FormatCatalog.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace quar {

namespace {

std::string lowercased(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

struct TypeEntry {
  std::string_view identifier;
  std::vector<std::string_view> extensions;
};

// The uniform type identifiers of audio and related files with their extensions, preferred
// extension first.
const std::vector<TypeEntry>& typeRegistry() {
  static const std::vector<TypeEntry> registry{
      {"public.data", {}},
      {"public.content", {}},
      {"public.audiovisual-content", {}},
      {"public.audio", {}},
      {"public.movie", {}},
      {"com.microsoft.waveform-audio", {"wav", "wave", "bwf"}},
      {"public.aiff-audio", {"aiff", "aif"}},
      {"public.aifc-audio", {"aifc", "aiff", "aif"}},
      {"com.apple.coreaudio-format", {"caf"}},
      {"org.xiph.flac", {"flac"}},
      {"public.mpeg-4-audio", {"m4a", "m4b", "m4p"}},
      {"com.apple.m4a-audio", {"m4a"}},
      {"com.apple.m4b-audio", {"m4b"}},
      {"com.apple.protected-mpeg-4-audio", {"m4p"}},
      {"public.aac-audio", {"aac", "adts"}},
      {"public.mp3", {"mp3"}},
      {"public.mpeg-4", {"mp4", "mpeg4"}},
      {"public.3gpp", {"3gp", "3gpp"}},
      {"public.3gpp2", {"3g2", "3gp2"}},
      {"com.apple.quicktime-movie", {"mov", "qt"}},
      {"public.ulaw-audio", {"au", "snd", "ulw"}},
      {"public.midi-audio", {"mid", "midi"}},
      {"org.xiph.opus", {"opus"}},
      {"org.xiph.ogg-audio", {"oga", "ogg"}},
      {"org.xiph.ogg-vorbis", {"ogg"}},
      {"org.matroska.mka", {"mka"}},
      {"org.webmproject.webm", {"webm"}},
      {"com.microsoft.windows-media-wma", {"wma"}},
  };
  return registry;
}

} // namespace

std::optional<ExportFormat> FormatCatalog::exportFormatForFileExtension(std::string_view fileExtension) {
  std::string extension = lowercased(fileExtension);
  if (extension.starts_with('.')) extension.erase(0, 1);
  for (const ExportFormatRecord& record : exportFormatRecords())
    if (std::ranges::find(record.claimedExtensions, extension) != record.claimedExtensions.end()) return record.format;
  return std::nullopt;
}

std::optional<ExportFormat> FormatCatalog::exportFormatForTypeIdentifier(std::string_view identifier) {
  for (const ExportFormatRecord& record : exportFormatRecords())
    if (std::ranges::find(record.claimedTypeIdentifiers, identifier) != record.claimedTypeIdentifiers.end())
      return record.format;
  const std::string wanted = lowercased(identifier);
  for (const auto& entry : typeRegistry()) {
    if (lowercased(entry.identifier) != wanted) continue;
    for (std::string_view extension : entry.extensions)
      if (const auto format = exportFormatForFileExtension(extension)) return format;
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::vector<std::string_view>> FormatCatalog::fileExtensionsForTypeIdentifier(std::string_view identifier) {
  const std::string wanted = lowercased(identifier);
  for (const auto& entry : typeRegistry())
    if (lowercased(entry.identifier) == wanted) return entry.extensions;
  return std::nullopt;
}

} // namespace quar
