// DecodeStages: where the time of one decode went, so that a slow format shows its cost. Each
// figure is thread time in seconds, summed over every thread that worked on the decode (with
// several at once it can exceed the wall time). Filled in by AudioDecoder::decodeBlocks.
#pragma once

#include <cstdint>

namespace quar {

struct DecodeStages {
  // Reading the file's bytes. Linear PCM counts its conversion to float here; decoders that read
  // for themselves (the in-order native decode, the ffmpeg tool) count their reading as decoding.
  double readSeconds = 0;
  // Turning the bytes into samples.
  double decodeSeconds = 0;
  // Copying the samples into blocks and handing the blocks on (the block handler's own work,
  // such as summaries, included).
  double joinSeconds = 0;
  // The pieces the file was decoded in at once; 0 for a decode in order on the calling thread.
  int64_t pieces = 0;
};

} // namespace quar
