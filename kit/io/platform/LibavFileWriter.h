// The libavformat/libavcodec side of NativeFileWriter: M4A files ("ipod" muxer) holding Apple
// Lossless (16 or 24 bits) or AAC. Channels are handed to the encoder in the FFmpeg layout
// that keeps each file channel's speaker role.
#pragma once

#include "io/platform/NativeFileWriter.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace quar {

class LibavFileWriter final : public NativeFileWriter {
public:
  static int32_t create(const std::filesystem::path& path, const StreamDescription& format,
                        const std::optional<std::vector<uint32_t>>& labels, std::unique_ptr<NativeFileWriter>& file,
                        int* systemError = nullptr);
  ~LibavFileWriter() override;

  bool hasEncoder() const override { return true; }
  std::optional<std::vector<ValueRange>> applicableBitRates() const override;
  int32_t setBitRate(uint32_t bitsPerSecond) override;
  int32_t applyEncoderSettings() override;
  int32_t close() override;

private:
  explicit LibavFileWriter(const StreamDescription& format);
  int32_t writeFrames(const Planar& samples) override;
  int32_t start();
  // Sends the full frame (or, flushing, the partial one and the end of the stream) and
  // writes the packets that come back; one packet is held back until the next arrives.
  int32_t encode(bool flush);
  int32_t writePacket(AVPacket* packet);
  // writeFailed, keeping the system error a failed libav call returned.
  int32_t writeFailed(int result);
  void release();

  bool isAac_ = false;
  int bits_ = 16;
  int64_t bitRate_ = 0;
  uint64_t layoutMask_ = 0;
  std::vector<size_t> encoderChannel_;  // file channel -> encoder channel
  AVFormatContext* format_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVPacket* pending_ = nullptr;
  bool started_ = false;
  bool failed_ = false;
  int filled_ = 0;
  int64_t nextPts_ = 0;
};

} // namespace quar
