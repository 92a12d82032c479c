// MpegFrameIndex: where the audio frames of an MPEG audio file (layer I, II or III, MPEG 1, 2 or
// 2.5) lie in its bytes, so that the file can be decoded in pieces. Only plain streams are
// indexed: ID3v2 tags before the first frame and ID3v1/APE/Lyrics tags or other bytes without
// a frame after the last are allowed; free-format frames, a change of stream parameters, bytes
// between frames and a VBRI header are not. Plain data, safe to share between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quar {

struct MpegFrameIndex {
  // Byte offset of every audio frame, then the end of the last one (frameCount() + 1 entries).
  std::vector<int64_t> offsets;
  int layer = 3;
  int sampleRate = 0;   // Hz
  int channels = 0;     // 1 or 2
  int64_t samplesPerFrame = 0;
  // Bytes at the start of every frame before its audio data: header, CRC, layer III side info.
  int64_t headerBytes = 0;
  // The Xing/Info frame before the audio frames (no audio of its own), if there is one.
  std::optional<int64_t> infoFrameOffset;

  int64_t frameCount() const { return static_cast<int64_t>(offsets.size()) - 1; }

  // Indexes a whole file; none when it is no plain MPEG audio stream (see above).
  static std::optional<MpegFrameIndex> scan(std::span<const uint8_t> file);
};

} // namespace quar
