// CoreAudioFileReader: decodes a file through the native audio file layer into planar 32-bit
// float chunks of at most 32768 frames and describes it (AudioFileInfo). It throws
// CoreAudioCannotDecode, before any callback has run, when the layer cannot read the file at
// all, so that a caller can fall back to another decoder. Runs on the caller's thread; one
// reader serves one decode.
#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "base/AudioFormats.h"
#include "base/QuarError.h"
#include "io/DecodeHandlers.h"
#include "io/DecodeStages.h"
#include "io/platform/NativeReader.h"

namespace quar {

// The native layer cannot read the file; raised only before any callback. `damaged`: the file
// opened, but reading its audio failed at once.
class CoreAudioCannotDecode : public std::exception {
public:
  explicit CoreAudioCannotDecode(std::string message, bool damaged = false)
      : message(std::move(message)), damaged(damaged) {}
  const char* what() const noexcept override { return message.c_str(); }

  std::string message;
  bool damaged;
};

// Reading failed after audio had reached the caller (damaged data): a decodeFailed QuarError.
class CoreAudioReadFailure : public QuarError {
public:
  explicit CoreAudioReadFailure(std::string message) : QuarError(QuarError::decodeFailed(std::move(message))) {}
};

class CoreAudioFileReader {
public:
  static constexpr int64_t chunkFrames = 32768;

  // Opens and describes the file; throws CoreAudioCannotDecode.
  explicit CoreAudioFileReader(std::filesystem::path url);

  // Delivers the whole file; returns its description with the number of frames delivered.
  // `progress` may be empty. Throws CoreAudioCannotDecode (nothing delivered yet),
  // CoreAudioReadFailure (damaged after some audio), QuarError::cancelled or what a callback
  // throws.
  AudioFileInfo decode(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                       const DecodeChunkHandler& onChunk);
  // Whether decodeConcurrently works: linear PCM of known length.
  bool canDecodeConcurrently() const;
  // Delivers the whole file as blocks of `blockFrames` (>= 1) frames, block k holding frames
  // [k·blockFrames, (k + 1)·blockFrames) (the last one shorter), each read straight into a room
  // of its length from `onRoom` and finished exactly once. Blocks are read several at once on the
  // shared worker pool, from any of its threads, in any order; `onFormat` (with the exact
  // length) and `progress` run on the calling thread, progress after every batch of blocks.
  // Throws like decode. `stages`, when given, receives where the time went.
  AudioFileInfo decodeConcurrently(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                                   const DecodeRoomHandler& onRoom, int64_t blockFrames,
                                   DecodeStages* stages = nullptr);
  // The description with `frameCount` as its length.
  AudioFileInfo info(int64_t frameCount) const;

  const std::filesystem::path& url() const { return url_; }
  const StreamDescription& fileFormat() const { return fileFormat_; }
  uint32_t fileType() const { return fileType_; }
  // Frames the file declares, >= 0.
  int64_t lengthFrames() const { return lengthFrames_; }

private:
  // Sets the planar float client format and the canonical client layout; throws
  // CoreAudioCannotDecode when the reader has no decoder for the file.
  void prepareClient();

  std::filesystem::path url_;
  std::unique_ptr<NativeReader> ext_;
  StreamDescription fileFormat_;
  uint32_t fileType_ = 0;
  int64_t lengthFrames_ = 0;
};

} // namespace quar
