// FFmpegDecoder: describes and decodes files that the native reader cannot read by running
// the external FFmpeg tools as child processes. `probe` reads ffprobe's JSON description;
// `decode` streams ffmpeg's interleaved 32-bit float output and cuts it into planar chunks of
// at most 32768 frames, or, without ffprobe, converts the file to a temporary float CAF that
// the native reader reads back. Runs on the caller's thread (the tool's standard error is
// drained by a thread of its own); never on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/AudioFormats.h"
#include "base/Json.h"
#include "io/DecodeHandlers.h"
#include "io/FFmpegTool.h"

namespace quar {

struct FFmpegDecoder {
  struct ProbeResult {
    AudioFileInfo info;
    // The stream's channel layout as ffprobe names it ("stereo", "3.0"); empty when it states none.
    std::string channelLayout;
  };

  static constexpr int64_t chunkFrames = 32768;
  // Streams with more channels than this are refused.
  static constexpr int maxChannels = 64;
  // A tool's standard error in a message keeps its last lines, at most this many bytes.
  static constexpr size_t maxErrorTextBytes = 2048;

  // True when ffmpeg was located (ffprobe alone is not enough).
  static bool isAvailable(const FFmpegTools& tools = FFmpegTool::installed());
  // Throws QuarError::decodeFailed("“name” isn’t a regular file") for a path naming a folder,
  // pipe, socket or device (after following links), which would block or mislead the tools.
  // Does nothing for regular files and paths that cannot be examined.
  static void requireRegularFile(const std::filesystem::path& url);

  // Describes the file's first audio stream with ffprobe. Throws QuarError: codecUnavailable
  // without ffprobe, decodeFailed for a file that is not regular, when the tool fails ("ffprobe: "
  // and the end of its standard error) or its output is no JSON,
  // unsupportedFormat without an audio stream or a usable rate and channel count.
  static ProbeResult probe(const std::filesystem::path& url, const FFmpegTools& tools = FFmpegTool::installed());

  // Decodes the file's first audio stream: `onFormat` once with the probed description, then
  // chunks; returns the description with the number of frames delivered. `progress` may be
  // empty. Throws QuarError (codecUnavailable without ffmpeg, decodeFailed, cancelled, the
  // probe's errors) or what a callback throws; the child is stopped on every error.
  static AudioFileInfo decode(const std::filesystem::path& url, const DecodeProgress& progress,
                              const DecodeFormatHandler& onFormat, const DecodeChunkHandler& onChunk,
                              const FFmpegTools& tools = FFmpegTool::installed());

  // The description from ffprobe's stream and format objects.
  static AudioFileInfo makeInfo(const std::filesystem::path& url, const Json& stream, const Json& format);
  // Display names of an FFmpeg format (e.g. "mov,mp4,m4a") and codec (e.g. "pcm_s16le").
  static std::string containerName(std::string_view formatName, const std::optional<std::string>& longName);
  static std::string codecName(std::string_view codec, const std::optional<std::string>& longName);
  // The export format that writes this kind of file, if any.
  static std::optional<ExportFormat> nativeExportFormat(std::string_view formatName, std::string_view codec);

private:
  static AudioFileInfo decodeViaTemporaryFile(const std::filesystem::path& ffmpeg, const std::filesystem::path& url,
                                              const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                                              const DecodeChunkHandler& onChunk);
};

} // namespace quar
