// CoreAudioFileWriter: the ChunkSink that ends an export chain for WAV (or RF64), AIFF, CAF,
// FLAC, Apple Lossless and AAC files, written through the native file service. It takes planar
// float chunks and hands them to the file as planar Float32 or as interleaved integers from a
// Quantizer. Used by one thread at a time; not for the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "io/EncodePipeline.h"
#include "io/platform/NativeFileWriter.h"

namespace quar {

class CoreAudioFileWriter final : public ChunkSink {
public:
  struct Configuration {
    uint32_t fileType = 0;     // 'WAVE', 'RF64', 'AIFF', 'caff', 'flac', 'm4af'
    StreamDescription format;  // the file's stream format
    int bits = 0;              // integer client width (16, 24, 32); 0 for float
    bool floatClient = false;
    bool dither = false;
    std::optional<uint32_t> layoutTag;
    std::optional<int64_t> bitRate;  // bits per second
  };

  // Creates (replacing) the file at `url` and configures it. Throws QuarError::encodeFailed.
  CoreAudioFileWriter(const std::filesystem::path& url, const Configuration& configuration);
  ~CoreAudioFileWriter() override;
  CoreAudioFileWriter(const CoreAudioFileWriter&) = delete;
  CoreAudioFileWriter& operator=(const CoreAudioFileWriter&) = delete;

  void consume(ChannelViews chunk) override;
  // Closes and finalises the file; does nothing once closed.
  void finish() override;
  void abort() noexcept override;
  // Integer clients only: samples beyond full scale, written at full scale.
  int64_t clippedSamples() const override { return quantizer_ ? quantizer_->clippedSamples : 0; }

  // The bit rate set on the encoder, when one was asked for.
  std::optional<int64_t> appliedBitRate() const { return appliedBitRate_; }

private:
  void configure(const Configuration& configuration);
  void configureEncoder(const Configuration& configuration);

  std::unique_ptr<NativeFileWriter> ext_;
  int channels_ = 0;
  uint32_t fileType_ = 0;
  std::optional<Quantizer> quantizer_;
  std::vector<uint8_t> intBuffer_;
  int64_t intCapacityFrames_ = 0;
  std::vector<const void*> abl_;
  int64_t dataBytes_ = 0;
  std::optional<int64_t> appliedBitRate_;
};

struct EncoderSupport {
  // `wanted` (bits per second) when the encoder lists no ranges or a range holds it; else the
  // range end nearest to it (the earlier on a tie), truncated.
  static int64_t nearestApplicableBitRate(const NativeFileWriter& converter, int64_t wanted);
};

} // namespace quar
