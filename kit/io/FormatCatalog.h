// FormatCatalog: the export format a file extension or a uniform type identifier stands for,
// used to pick the encoder when saving under a chosen type. Pure lookups over fixed tables;
// safe on any thread.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "base/AudioFormats.h"

namespace quar {

struct FormatCatalog {
  // Case-insensitive; one leading dot is ignored ("WAV", ".wav" -> wav; "..wav" -> none).
  static std::optional<ExportFormat> exportFormatForFileExtension(std::string_view fileExtension);
  // The identifiers the formats' records claim first (exact match), then the extensions the
  // type registry lists for the identifier (matched without regard to case), in its order.
  static std::optional<ExportFormat> exportFormatForTypeIdentifier(std::string_view identifier);
  // The extensions the type registry lists for an identifier (matched without regard to case),
  // preferred first; none for an identifier it does not know.
  static std::optional<std::vector<std::string_view>> fileExtensionsForTypeIdentifier(std::string_view identifier);
};

} // namespace quar
