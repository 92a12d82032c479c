// SplitDecoder: decodes a FLAC or MPEG audio file of one or two channels that the native reader
// has opened in pieces at once on the shared worker pool, with exactly the samples of the
// reader's own decode in order, gapless trimming of MP3 included. FLAC pieces start at sample-
// exact seeks; MPEG pieces start some frames early, decoding and dropping enough frames to
// refill the bit reservoir and the filter bank. The calling thread takes part, reports progress
// and answers cancellation. One decoder serves one decode.
#pragma once

#include <cstdint>
#include <memory>

#include "base/AudioFormats.h"
#include "io/DecodeHandlers.h"
#include "io/DecodeStages.h"

namespace quar {

class CoreAudioFileReader;

class SplitDecoder {
public:
  // Blocks in one piece.
  static constexpr int64_t pieceBlocks = 4;

  // A decoder of the file `reader` opened, or null when the file is not split (another codec,
  // more than two channels, no stated length, an MPEG stream MpegFrameIndex does not index,
  // fewer than two MPEG frames). `reader` must outlive the decoder.
  static std::unique_ptr<SplitDecoder> open(const CoreAudioFileReader& reader);
  virtual ~SplitDecoder() = default;

  // Delivers the whole file as blocks of `blockFrames` (>= 1) frames, block k holding frames
  // [k·blockFrames, (k + 1)·blockFrames) (the last one shorter), each decoded straight into a
  // room of its length from `onRoom` and finished exactly once, from any thread of the pool, in
  // any order. `onFormat` (with the exact length) and `progress` run on
  // the calling thread. Throws QuarError (decodeFailed for a damaged piece, cancelled) or what a
  // handler throws. `stages`, when given, receives where the time went.
  AudioFileInfo decode(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                       const DecodeRoomHandler& onRoom, int64_t blockFrames, DecodeStages* stages = nullptr);

  class Sink;

protected:
  explicit SplitDecoder(const CoreAudioFileReader& reader) : reader_(reader) {}

  // Frames the decode delivers.
  virtual int64_t frameCount() const = 0;
  // Seconds spent reading the file before the pieces start.
  virtual double upfrontReadSeconds() const { return 0; }
  // Decodes frames [start, start + sink.frames()) into `sink`; an AudioStatus.
  virtual int32_t decodePiece(int64_t start, Sink& sink, double& readSeconds) const = 0;

private:
  const CoreAudioFileReader& reader_;
};

} // namespace quar
