// FlacPieceDecoder: decodes the frames [start, start + count) of a FLAC file with libFLAC,
// seeking to `start` sample-exactly, and hands on the samples as they come: planar, right-
// justified integers of the stream's bit depth. The file is read with pread through a
// descriptor the caller owns, so that any number of pieces of one file decode at once, one
// decoder per thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "io/platform/FlacStreamLength.h"

namespace quar {

struct FlacPieceDecoder {
  // Receives the next `frames` frames (`channelCount` arrays) of `bitsPerSample`-bit samples;
  // false stops the decode.
  using Handler =
      std::function<bool(const int32_t* const* channels, int channelCount, int64_t frames, int bitsPerSample)>;

  // An AudioStatus: malformedData when a frame is missing between two others. Where the audio
  // ends before `count` frames came out (a cut file), the frames before are handed on and the
  // status is ok: the caller tells by the count. `readSeconds` grows by the time spent reading the file.
  // `stream`, when given, is the stream's true length, which libFLAC is shown in place of the
  // header's total so that it seeks anywhere up to it.
  static int32_t decode(int fd, int64_t fileBytes, int64_t start, int64_t count,
                        const std::optional<FlacStreamLength>& stream, const Handler& onSamples, double& readSeconds);
};

} // namespace quar
