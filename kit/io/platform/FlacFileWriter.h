// FlacFileWriter: the native writer's FLAC files (16 or 24 bits), encoded by libFLAC in pieces of
// whole frames on the shared worker pool while the caller hands in the next samples. The pieces
// are stitched into the stream a single encoder writes at the same level: frames renumbered,
// STREAMINFO with the exact frame sizes, length and MD5 of the samples. The writer is used by one
// thread at a time; each batch of pieces is encoded from a background thread of its own.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "io/platform/Md5.h"
#include "io/platform/NativeFileWriter.h"

namespace quar {

class FlacFileWriter final : public NativeFileWriter {
public:
  // Frames of one piece (8 · 36864, a multiple of every level's block size, 1152 and 4096) and
  // pieces per batch.
  static constexpr int64_t pieceFrames = 8 * 36864;
  static constexpr int64_t piecesPerBatch = 8;

  // `format` is FLAC with the source-depth code of 16 or 24 bits in its flags.
  static int32_t create(const std::filesystem::path& path, const StreamDescription& format,
                        std::unique_ptr<NativeFileWriter>& file, int* systemError = nullptr);
  ~FlacFileWriter() override;

  bool hasEncoder() const override { return true; }
  // Quality [0, 127] maps to compression levels [0, 8].
  int32_t setCodecQuality(uint32_t quality) override;
  int32_t applyEncoderSettings() override { return AudioStatus::ok; }
  int32_t close() override;

private:
  // Samples of consecutive frames (planar, right-justified) and, once encoded, their frames.
  struct Batch {
    std::vector<std::vector<int32_t>> samples;
    int64_t frames = 0;
    int64_t firstFrame = 0;  // of the stream
    std::vector<std::vector<uint8_t>> encoded;  // per piece: its frames, renumbered
    std::vector<int64_t> frameSizes;            // bytes of every frame, in order
    int32_t status = AudioStatus::ok;
  };

  FlacFileWriter(const StreamDescription& format, int fd, int bits);
  int32_t writeFrames(const Planar& samples) override;
  // Starts encoding the first `frames` pending frames once the previous batch is written.
  int32_t dispatch(int64_t frames);
  // Waits for the batch in flight and appends its frames to the file.
  int32_t collect();
  // Encodes every piece of the batch and adds its samples to the digest.
  void encode(Batch& batch);
  int32_t writeAll(const std::vector<uint8_t>& bytes, int64_t offset);

  int fd_;
  int bits_;
  int level_ = 5;
  std::vector<std::vector<int32_t>> pending_;
  Batch inFlight_;
  std::thread worker_;
  Md5 digest_;
  int64_t fileBytes_ = 0;
  int64_t totalFrames_ = 0;  // frames written to the file
  uint32_t blockSize_ = 0;   // of the level, once a piece is encoded
  int64_t minFrameBytes_ = 0, maxFrameBytes_ = 0;
  int32_t status_ = AudioStatus::ok;
};

} // namespace quar
