// FlacStreamLength: how many frames a FLAC file really holds, read from the header of its last
// audio frame, for files whose STREAMINFO total is missing or wrong (an encoder that stopped
// before writing it back, a tool that rewrote the header). Reads the file with pread; safe on
// any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace quar {

struct FlacStreamLength {
  // Frames (samples per channel) up to the end of the last audio frame.
  int64_t frames = 0;
  // Byte offset of the STREAMINFO bytes that hold the total (the last 36 bits of the 8 bytes
  // from here), so that a decoder can be shown the true one.
  int64_t totalFieldOffset = 0;

  // None when the file is no FLAC stream, or when its last frame is not found intact at the
  // end of the file (before an ID3v1 tag, if any): a cut file, other bytes after the audio, or
  // a stream whose frames change block size without saying their sample numbers.
  static std::optional<FlacStreamLength> measure(int fd, int64_t fileBytes);

  // The 8 bytes at totalFieldOffset with the total replaced by `frames` (< 2^36).
  static void writeTotal(uint8_t* field, int64_t frames);
};

} // namespace quar
