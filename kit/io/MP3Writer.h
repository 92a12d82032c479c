// MP3Writer: the ChunkSink that ends an export chain for MP3. It encodes planar float chunks
// (1 or 2 channels) at a constant bit rate with the loaded LAME library, writes the frames to the
// file and, when finished, rewrites the first frame with LAME's Info/LAME tag frame. Samples
// beyond [-1, 1] are encoded at full scale and counted. Used by one thread at a time; not for
// the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "io/EncodePipeline.h"
#include "io/LameLibrary.h"
#include "io/OutputFile.h"

namespace quar {

class MP3Writer final : public ChunkSink {
public:
  // Frames handed to the encoder per call.
  static constexpr int64_t sliceFrames = 32768;

  // `channels` is 1 or 2; `sampleRate` in Hz; `bitRateKbps` in kbit/s. Configures the encoder,
  // then creates the file. Throws QuarError::encodeFailed.
  MP3Writer(const std::filesystem::path& url, const LameLibrary& lib, double sampleRate, int channels,
            int bitRateKbps);
  ~MP3Writer() override;
  MP3Writer(const MP3Writer&) = delete;
  MP3Writer& operator=(const MP3Writer&) = delete;

  void consume(ChannelViews chunk) override;
  // Flushes the encoder, writes the tag frame and closes the file; does nothing once closed.
  void finish() override;
  void abort() noexcept override;
  // Samples beyond full scale, encoded at full scale.
  int64_t clippedSamples() const override { return clippedSamples_; }

private:
  void ensureBuffer(int64_t frames);
  // Appends `result` bytes of the buffer, or fails for a negative LAME result.
  void emit(int result, const char* stage);

  const LameLibrary& lib_;
  LameEncoder* gfp_ = nullptr;
  int channels_;
  OutputFile handle_;
  std::vector<uint8_t> mp3buf_;
  std::vector<float> clamped_[2];  // slices holding samples outside [-1, 1]
  int64_t clippedSamples_ = 0;
};

} // namespace quar
