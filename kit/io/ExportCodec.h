// ExportCodec: how the io layer writes each export format and recognises an opened file as
// one; one record per ExportFormat, beside the format's ExportFormatRecord (base). Adding a
// format means adding its record here. Constant data and pure lookups; safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/AudioFormats.h"

namespace quar {

struct ExportCodec {
  // Which writer makes the file.
  enum class Writer {
    pcmFile,    // the native file writer, linear PCM
    codecFile,  // the native file writer through the codec `formatID`
    mp3,        // MP3Writer, through the LAME library
    oggOpus,    // OggOpusWriter
  };

  ExportFormat format;
  Writer writer;
  uint32_t formatID;  // the codec written; for codecFile and oggOpus the encoder that must exist
  uint32_t fileType;  // the native file type written; 0 for the other writers
  // Written instead of fileType above EncodePlan::wavDataLimit bytes of audio.
  std::optional<uint32_t> largeFileType;
  bool bigEndian;  // PCM sample order
  // The written file's channel-layout tag for a channel count; null for the other writers.
  std::optional<uint32_t> (*layoutTag)(int channels);
  // The encoder's own sample rates narrow the format's (AudioEncoder::outputSampleRate).
  bool encoderNarrowsRates;

  // Recognising an opened file as this format: the native reader's file types with the codec
  // they must hold (none: any), and ffprobe's format names with the codec name they must hold
  // (ending in "*": any codec with that prefix; empty: any).
  std::span<const uint32_t> nativeFileTypes;
  std::optional<uint32_t> nativeCodec;
  std::span<const std::string_view> ffmpegFormats;
  std::string_view ffmpegCodec;
};

// Every format's record, in allCases order.
std::span<const ExportCodec> exportCodecs();
const ExportCodec& exportCodec(ExportFormat format);

// The export format that writes an opened file back. The first record naming one of the
// file's containers picks that container; the result is the first record naming it whose codec
// the file holds, none when there is none. The native reader gives one file type and codec;
// ffprobe a list of format names and a codec name.
std::optional<ExportFormat> exportFormatOfNativeFile(uint32_t fileType, uint32_t formatID);
std::optional<ExportFormat> exportFormatOfProbedFile(std::span<const std::string_view> formatNames,
                                                     std::string_view codec);

} // namespace quar
