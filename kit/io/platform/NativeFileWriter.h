// NativeFileWriter: the writing handle of the native audio file layer. It creates a WAV (WAVEX
// above two channels), RF64, AIFF or CAF file through libsndfile, a FLAC file through libFLAC, or
// an M4A file holding Apple Lossless or AAC through libavformat/libavcodec, and converts client data (planar
// Float32 or interleaved little-endian integers) into the file's format on every write.
// Failures are AudioStatus codes. One handle is used by one thread at a time; nothing here runs
// on the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "io/platform/NativeAudioFile.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/StreamDescription.h"

namespace quar {

// An inclusive range of values (bit rates in bits per second).
struct ValueRange {
  double minimum = 0;
  double maximum = 0;
};

class NativeFileWriter : public NativeAudioFile {
public:
  // Creates `path` (replacing any file there) of `fileType` (AudioFileTypeID wave, rf64, aiff,
  // caf, flac or m4a) holding `format`, labelled with the channel layout `layoutTag` when given;
  // a tag the file type cannot store fails the creation. On success `file` holds the writer; on
  // failure `systemError`, when given, receives the system error number behind it (0 for none).
  static int32_t create(const std::filesystem::path& path, uint32_t fileType, const StreamDescription& format,
                        std::optional<uint32_t> layoutTag, std::unique_ptr<NativeFileWriter>& file,
                        int* systemError = nullptr);
  // Whether the layer can encode `formatID` with samples of `bits` bits. Apple Lossless stops
  // at 24 bits: FFmpeg's decoder cannot read back every 32-bit stereo packet.
  static bool canEncode(uint32_t formatID, int bits);

  const StreamDescription& fileFormat() const { return fileFormat_; }
  std::optional<AudioChannelLayout> fileChannelLayout() const override { return fileLayout_; }
  // Client channels follow `layout`, a reordering of the file's labels.
  int32_t setClientChannelLayout(const AudioChannelLayout& layout) override;

  // Client data: planar Float32 (flags float, packed, non-interleaved; one buffer per channel)
  // or interleaved packed little-endian signed 16, 24 or 32-bit integers (one buffer). Integer
  // PCM and lossless files take integer clients only.
  int32_t setClientFormat(const StreamDescription& client);

  // The encoder behind a compressed file and its settings; they take effect after
  // applyEncoderSettings, before the first write.
  virtual bool hasEncoder() const { return false; }
  virtual int32_t setCodecQuality(uint32_t /*quality 0...127*/) { return AudioStatus::unsupportedProperty; }
  virtual std::optional<std::vector<ValueRange>> applicableBitRates() const { return std::nullopt; }
  virtual int32_t setBitRate(uint32_t /*bitsPerSecond*/) { return AudioStatus::unsupportedProperty; }
  virtual int32_t applyEncoderSettings() { return AudioStatus::unsupportedProperty; }

  // Writes `frames` frames of client data; `buffers` as the client format says.
  int32_t write(int64_t frames, std::span<const void* const> buffers);
  // Completes and closes the file; later calls return 0 and do nothing.
  virtual int32_t close() = 0;
  // The system error number (errno) behind the last failed write or close; 0 for none.
  int systemError() const { return systemError_; }

protected:
  explicit NativeFileWriter(const StreamDescription& format) : fileFormat_(format) {}

  // Planar samples in file channel order: full-scale 32-bit integers (integer clients; the
  // value sits in the top bits) or floats.
  struct Planar {
    std::span<const std::vector<int32_t>> ints;
    std::span<const std::vector<float>> floats;
    int64_t frames = 0;
  };
  virtual int32_t writeFrames(const Planar& samples) = 0;
  // Writes interleaved little-endian client integers of `bits` bits in file channel order as
  // they are, when the file stores them so; none when it does not and writeFrames must take them.
  virtual std::optional<int32_t> writeRawIntegers(const uint8_t* /*bytes*/, int64_t /*frames*/, uint32_t /*bits*/) {
    return std::nullopt;
  }

  StreamDescription fileFormat_;
  std::optional<AudioChannelLayout> fileLayout_;
  int systemError_ = 0;

private:
  StreamDescription clientFormat_;
  bool hasClientFormat_ = false;
  std::vector<size_t> clientChannel_;  // file channel -> client channel
  std::vector<std::vector<int32_t>> intScratch_;
  std::vector<std::vector<float>> floatScratch_;
};

} // namespace quar
