// The libsndfile side of NativeFileWriter: WAV (WAVEX above two channels), RF64, AIFF and CAF.
// Integer samples reach the library as full-scale 32-bit integers, which it narrows exactly;
// float samples only go to float files.
#pragma once

#include "io/platform/NativeFileWriter.h"

struct sf_private_tag;

namespace quar {

class SndfileWriter final : public NativeFileWriter {
public:
  static int32_t create(const std::filesystem::path& path, uint32_t fileType, const StreamDescription& format,
                        const std::optional<std::vector<uint32_t>>& labels, std::unique_ptr<NativeFileWriter>& file,
                        int* systemError = nullptr);
  ~SndfileWriter() override;

  int32_t close() override;

private:
  SndfileWriter(const StreamDescription& format, sf_private_tag* file);
  int32_t writeFrames(const Planar& samples) override;
  std::optional<int32_t> writeRawIntegers(const uint8_t* bytes, int64_t frames, uint32_t bits) override;
  // ok, or writeFailed keeping the system error of the call that fell short.
  int32_t outcome(bool complete);

  sf_private_tag* file_;
  std::vector<int32_t> interleavedInts_;
  std::vector<float> interleavedFloats_;
};

} // namespace quar
