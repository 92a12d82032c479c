// MpegFrameDecoder: decodes consecutive whole frames of one MPEG audio stream with libmpg123,
// set up as libsndfile sets it up for its own MP3 decode (32-bit float at the stream's rate, no
// resampling) but without gapless trimming, so that every frame yields exactly
// samplesPerFrame frames: a piece decoded here matches the same frames of a whole-file decode
// once enough frames before it were decoded and dropped. One decoder per thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

struct mpg123_handle_struct;

namespace quar {

class MpegFrameDecoder {
public:
  // Receives frame `index` (0 = the first frame fed) as interleaved samples; false stops.
  using FrameHandler = std::function<bool(int64_t index, const float* interleaved)>;

  // What the Xing/Info frame says about gapless playback, as libmpg123 reads it.
  struct Gapless {
    int64_t encoderDelay = -1;  // samples; -1 when not stated
    int64_t padding = -1;       // samples; -1 when not stated
    int64_t frames = 0;         // audio frames the info frame counts; 0 when not stated
  };
  // The samples libmpg123 itself delays its output by; its gapless trimming adds them to both ends.
  static constexpr int64_t decoderDelay = 529;

  // Reads the info frame in `head`: the file's first bytes, up to and including the info frame
  // and at least one frame after it.
  static Gapless gapless(std::span<const uint8_t> head);

  // channels 1 or 2.
  MpegFrameDecoder(int sampleRate, int channels, int64_t samplesPerFrame);
  ~MpegFrameDecoder();
  MpegFrameDecoder(const MpegFrameDecoder&) = delete;
  MpegFrameDecoder& operator=(const MpegFrameDecoder&) = delete;

  // Decodes the frames in `frames` (whole frames, nothing else) and hands each to `onFrame`.
  // An AudioStatus: malformedData when a frame yields another number of samples, or fewer
  // frames come out than `frameCount`.
  int32_t decode(std::span<const uint8_t> frames, int64_t frameCount, const FrameHandler& onFrame);

private:
  mpg123_handle_struct* handle_ = nullptr;
  int channels_;
  int64_t samplesPerFrame_;
};

} // namespace quar
