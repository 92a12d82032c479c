// AudioDecoder: the one entry point for reading audio files. It decodes with the native reader
// and, when that reader cannot handle the file or fails reading it, with the FFmpeg tools; it also
// describes a file without decoding it and lists the extensions that can be opened. Stateless;
// every call runs to completion on the caller's thread (never the audio thread). The
// extension list and the tool locations are computed once per process.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/AudioFormats.h"
#include "io/DecodeHandlers.h"
#include "io/DecodeStages.h"
#include "io/FFmpegTool.h"

namespace quar {

struct AudioDecoder {
  // A whole file in memory: one array of samples per channel.
  struct Decoded {
    AudioFileInfo info;
    std::vector<std::vector<float>> channels;
  };

  // Extensions only the FFmpeg tools open (and some both decoders open).
  static constexpr std::array<std::string_view, 39> ffmpegExtensions{
      "wma", "asf", "wv",  "ape", "tta", "tak",  "mka", "mkv", "webm", "ogg", "oga", "opus", "spx",
      "mpc", "dts", "ac3", "eac3", "mp2", "mp4", "mov", "m4v", "w64",  "rf64", "voc", "au",  "snd",
      "dsf", "dff", "shn", "ra",  "rm",  "amr",  "3gp", "aac", "flac", "wav", "aiff", "aif", "caf"};

  // Calls `onFormat`, then `onChunk` with planar chunks of at most 32768 frames; returns the
  // description with the number of frames delivered. When the native reader opens a file but
  // fails reading it (damaged data), the FFmpeg tools read it again from the start: `onFormat`
  // then comes a second time if audio had already been delivered, and what came before it is
  // to be dropped; the result then carries `damage`. `progress` may be empty; returning false
  // from it cancels. Throws QuarError (decodeFailed, unsupportedFormat, codecUnavailable,
  // cancelled) or what a callback throws. A path that is not a regular file is refused before
  // anything opens it; a stopped decode stops the tool it started.
  static AudioFileInfo decode(const std::filesystem::path& url, const DecodeProgress& progress,
                              const DecodeFormatHandler& onFormat, const DecodeChunkHandler& onChunk,
                              const FFmpegTools& tools = FFmpegTool::installed());
  // Like decode, with the audio cut into blocks of `blockFrames` (>= 1) frames, each written
  // straight into a room from `onRoom`: block k holds frames [k·blockFrames, (k + 1)·blockFrames)
  // (the last one shorter) and its room is finished exactly once (once more after a second
  // `onFormat`, as decode tells; rooms of the first reading not finished by then are dropped).
  // Linear PCM, and the FLAC and MPEG audio that SplitDecoder takes, are read into rooms of
  // their exact length from several threads at once, in any order, after `onFormat` has stated
  // the exact length, with the samples of `decode`; everything else arrives in order on the
  // calling thread, in rooms of `blockFrames` frames (the last one finished shorter). `onFormat`
  // and `progress` run on the calling thread. On the concurrent paths a false from `progress`
  // after the last block has arrived comes too late to cancel: the finished decode is returned.
  // `stages`, when given, receives where the time went.
  static AudioFileInfo decodeBlocks(const std::filesystem::path& url, const DecodeProgress& progress,
                                    const DecodeFormatHandler& onFormat, const DecodeRoomHandler& onRoom,
                                    int64_t blockFrames, DecodeStages* stages = nullptr,
                                    const FFmpegTools& tools = FFmpegTool::installed());
  // The whole file in memory.
  static Decoded decodeToArrays(const std::filesystem::path& url, const FFmpegTools& tools = FFmpegTool::installed());
  // Describes the file from its header; no audio is decoded.
  static AudioFileInfo probe(const std::filesystem::path& url, const FFmpegTools& tools = FFmpegTool::installed());
  // Lower-case extensions without dot, sorted, without duplicates: those the native reader
  // knows and, with `withFFmpeg`, those the ffmpeg tools open.
  static std::vector<std::string> fileExtensions(bool withFFmpeg);
  // fileExtensions() with the ffmpeg tools when they are installed.
  static std::vector<std::string> readableFileExtensions(const FFmpegTools& tools = FFmpegTool::installed());
  // The extensions the native reader knows, in its order.
  static const std::vector<std::string>& coreAudioExtensions();
};

} // namespace quar
