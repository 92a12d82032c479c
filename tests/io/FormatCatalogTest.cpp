#include <gtest/gtest.h>

#include "io/FormatCatalog.h"

using namespace quar;

TEST(FormatCatalog, FileExtensions) {
  const std::vector<std::pair<std::string, std::optional<ExportFormat>>> cases{
      {"wav", ExportFormat::wav},   {".WAV", ExportFormat::wav},  {"WAV", ExportFormat::wav},
      {"..wav", std::nullopt},      {"bwf", ExportFormat::wav},   {"w64", ExportFormat::wav},
      {"AIFC", ExportFormat::aiff}, {"caf", ExportFormat::caf},   {"flac", ExportFormat::flac},
      {"m4a", ExportFormat::aac},   {"mp4", ExportFormat::aac},   {"adts", ExportFormat::aac},
      {"alac", ExportFormat::alac}, {"mp3", ExportFormat::mp3},   {".opus", ExportFormat::opus},
      {"ogg", std::nullopt},        {"", std::nullopt},           {".", std::nullopt},
      {"wav ", std::nullopt},
  };
  for (const auto& [extension, format] : cases)
    EXPECT_EQ(FormatCatalog::exportFormatForFileExtension(extension), format) << extension;
}

TEST(FormatCatalog, TypeIdentifiers) {
  const std::vector<std::pair<std::string, std::optional<ExportFormat>>> cases{
      {"com.apple.m4a-audio", ExportFormat::aac},
      {"com.microsoft.waveform-audio", ExportFormat::wav},
      {"public.aifc-audio", ExportFormat::aiff},
      {"public.flac", ExportFormat::flac},
      {"public.mpeg-3", ExportFormat::mp3},
      {"org.xiph.opus", ExportFormat::opus},
      // Outside the table: the registry's extensions decide, matched without regard to case.
      {"PUBLIC.AIFF-AUDIO", ExportFormat::aiff},
      {"public.mpeg-4", ExportFormat::aac},
      {"public.ulaw-audio", std::nullopt},
      {"public.audio", std::nullopt},
      {"com.example.unregistered", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [identifier, format] : cases)
    EXPECT_EQ(FormatCatalog::exportFormatForTypeIdentifier(identifier), format) << identifier;
}

TEST(FormatCatalog, ExtensionsOfATypeIdentifier) {
  using Extensions = std::vector<std::string_view>;
  EXPECT_EQ(FormatCatalog::fileExtensionsForTypeIdentifier("com.microsoft.waveform-audio"), (Extensions{"wav", "wave", "bwf"}));
  EXPECT_EQ(FormatCatalog::fileExtensionsForTypeIdentifier("COM.APPLE.M4A-AUDIO"), Extensions{"m4a"});
  EXPECT_EQ(FormatCatalog::fileExtensionsForTypeIdentifier("public.audio"), Extensions{});
  EXPECT_EQ(FormatCatalog::fileExtensionsForTypeIdentifier("com.example.unregistered"), std::nullopt);
}
