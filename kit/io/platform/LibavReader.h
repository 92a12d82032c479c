// LibavReader: the native reader over libavformat/libavcodec for the MP4 family (M4A, M4B,
// MP4, 3GP), ADTS AAC and CAF files libsndfile cannot decode. Encoder priming is skipped and
// reads stop at the length the container states. Created by NativeReader::open; one thread
// at a time.
#pragma once

#include <filesystem>
#include <memory>

#include "io/platform/NativeReader.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace quar {

class LibavReader final : public NativeReader {
public:
  // Null and a status on failure; unrecognizedFormat for every other container.
  static std::unique_ptr<LibavReader> open(const std::filesystem::path& path, int32_t& status);
  ~LibavReader() override;

  std::optional<int32_t> sourceBitDepth() const override { return sourceBitDepth_; }
  std::optional<uint32_t> bitRate() const override { return bitRate_; }

protected:
  int32_t prepareDecoding() override;
  int32_t readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) override;

private:
  LibavReader() = default;
  // Receives the next decoded frame into frame_, feeding packets as needed. Sets `ended` at
  // the end of the stream.
  int32_t nextFrame(bool& ended);

  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int streamIndex_ = -1;
  bool lengthIsExact_ = false;  // the container states the stream's length
  bool flushed_ = false;
  bool ended_ = false;
  int frameOffset_ = 0;  // frames of frame_ already delivered
  int64_t delivered_ = 0;
  std::optional<int32_t> sourceBitDepth_;
  std::optional<uint32_t> bitRate_;
};

} // namespace quar
