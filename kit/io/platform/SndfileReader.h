// SndfileReader: the native reader over libsndfile, for WAV, WAVEX, RF64, W64, AIFF, AIFC,
// CAF, FLAC, MP3 and AU files. Created by NativeReader::open; one thread at a time, except
// readAt, which linear PCM serves from several threads, each through its own libsndfile handle.
#pragma once

#include <memory>
#include <vector>

#include "io/platform/NativeReader.h"

typedef struct sf_private_tag SNDFILE;

namespace quar {

class SndfileReader final : public NativeReader {
public:
  // Reads through a duplicate of `fd` (a regular file); null and a status on failure, which
  // is unrecognizedFormat for containers outside the list above.
  static std::unique_ptr<SndfileReader> open(int fd, int32_t& status);
  ~SndfileReader() override;

  std::optional<int32_t> sourceBitDepth() const override { return sourceBitDepth_; }
  bool canReadAt() const override { return positionedFd_ >= 0; }

protected:
  int32_t readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) override;
  int32_t readFileOrderAt(int64_t start, float* const* channels, int64_t frames) const override;

private:
  explicit SndfileReader(SNDFILE* file) : file_(file) {}

  SNDFILE* file_;
  // A descriptor of the same file that readAt reads with pread (-1 unless linear PCM), and its size.
  int positionedFd_ = -1;
  int64_t fileBytes_ = 0;
  // FLAC: the frames up to the end of the last audio frame, when more than the header states
  // (-1 otherwise).
  int64_t streamFrames_ = -1;
  // Frames read in file order so far.
  int64_t readFrames_ = 0;
  std::optional<int32_t> sourceBitDepth_;
  std::vector<float> interleaved_;
};

} // namespace quar
