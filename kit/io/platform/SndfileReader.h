// SndfileReader: the native reader over libsndfile, for WAV, WAVEX, RF64, W64, AIFF, AIFC,
// CAF, FLAC, MP3 and AU files. Created by NativeReader::open; one thread at a time.
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

protected:
  int32_t readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) override;

private:
  explicit SndfileReader(SNDFILE* file) : file_(file) {}

  SNDFILE* file_;
  std::optional<int32_t> sourceBitDepth_;
  std::vector<float> interleaved_;
};

} // namespace quar
