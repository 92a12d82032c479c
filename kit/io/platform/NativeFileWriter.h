// The native file-writing service behind CoreAudioFileWriter: creates a WAV (WAVEX above two
// channels), RF64, AIFF, CAF or FLAC file through libsndfile, or an M4A file holding Apple
// Lossless or AAC through libavformat/libavcodec, and converts client data (planar Float32 or
// interleaved little-endian integers) into the file's format on every write. Failures are
// reported as platform-shaped status codes (0 = success). One writer is used by one thread at
// a time; nothing here runs on the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quar::platform {

constexpr uint32_t fourCharCode(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
         uint32_t(uint8_t(code[3]));
}

// A stream format: sample rate in Hz, format code ('lpcm', 'flac', 'alac', 'aac '), flags and
// packing, as files and clients describe their data.
struct AudioStreamBasicDescription {
  double sampleRate = 0;
  uint32_t formatID = 0;
  uint32_t formatFlags = 0;
  uint32_t bytesPerPacket = 0;
  uint32_t framesPerPacket = 0;
  uint32_t bytesPerFrame = 0;
  uint32_t channelsPerFrame = 0;
  uint32_t bitsPerChannel = 0;
  uint32_t reserved = 0;

  bool operator==(const AudioStreamBasicDescription&) const = default;
};

namespace formatFlag {
constexpr uint32_t isFloat = 1;
constexpr uint32_t isBigEndian = 2;
constexpr uint32_t isSignedInteger = 4;
constexpr uint32_t isPacked = 8;
constexpr uint32_t isNonInterleaved = 32;
} // namespace formatFlag

// Status codes of the writing service.
namespace writeStatus {
constexpr int32_t fileNotFound = -43;
constexpr int32_t permissionDenied = -54;
constexpr int32_t unsupportedFileType = int32_t(fourCharCode("typ?"));
constexpr int32_t unsupportedDataFormat = int32_t(fourCharCode("fmt?"));
constexpr int32_t unsupportedProperty = int32_t(fourCharCode("pty?"));
constexpr int32_t writeFailed = int32_t(fourCharCode("wrt?"));
} // namespace writeStatus

// An inclusive range of values (bit rates in bits per second).
struct ValueRange {
  double minimum = 0;
  double maximum = 0;
};

// Whether the service can encode `formatID` with samples of `bits` bits. Apple Lossless stops
// at 24 bits: FFmpeg's decoder cannot read back every 32-bit stereo packet.
bool canEncode(uint32_t formatID, int bits);
// The sample rates (Hz, ascending) the encoder of `formatID` accepts; none when any rate goes.
std::optional<std::vector<double>> encodeSampleRates(uint32_t formatID);

class NativeFileWriter {
public:
  virtual ~NativeFileWriter() = default;

  // Creates `path` (replacing any file there) of `fileType` ('WAVE', 'RF64', 'AIFF', 'caff',
  // 'flac', 'm4af') holding `format`, labelled with the channel layout `layoutTag` when given;
  // a tag the file type cannot store fails the creation. On success `file` holds the writer.
  static int32_t create(const std::filesystem::path& path, uint32_t fileType, const AudioStreamBasicDescription& format,
                        std::optional<uint32_t> layoutTag, std::unique_ptr<NativeFileWriter>& file);

  const AudioStreamBasicDescription& fileFormat() const { return fileFormat_; }
  // The channel labels of the file's layout, in file order; none without a layout.
  const std::optional<std::vector<uint32_t>>& fileLabels() const { return fileLabels_; }

  // Client data: planar Float32 (flags float, packed, non-interleaved; one buffer per
  // channel) or interleaved packed little-endian signed 16, 24 or 32-bit integers (one buffer).
  int32_t setClientFormat(const AudioStreamBasicDescription& client);
  // Client channels arrive in the order of `layoutTag`, a permutation of the file's labels.
  int32_t setClientLayout(uint32_t layoutTag);

  // The encoder behind a compressed file, and its settings; setBitRate and setCodecQuality
  // take effect after applyEncoderSettings, before the first write.
  virtual bool hasEncoder() const { return false; }
  virtual int32_t setCodecQuality(uint32_t /*quality 0...127*/) { return writeStatus::unsupportedProperty; }
  virtual std::optional<std::vector<ValueRange>> applicableBitRates() const { return std::nullopt; }
  virtual int32_t setBitRate(uint32_t /*bitsPerSecond*/) { return writeStatus::unsupportedProperty; }
  virtual int32_t applyEncoderSettings() { return writeStatus::unsupportedProperty; }

  // Writes `frames` frames of client data; `buffers` as the client format says.
  int32_t write(int64_t frames, std::span<const void* const> buffers);
  // Completes and closes the file; later calls return 0 and do nothing.
  virtual int32_t close() = 0;

protected:
  explicit NativeFileWriter(const AudioStreamBasicDescription& format) : fileFormat_(format) {}

  // Planar samples in file channel order: int32 full scale (integer clients; the value sits
  // in the top bits) or float.
  struct Planar {
    std::span<const std::vector<int32_t>> ints;
    std::span<const std::vector<float>> floats;
    int64_t frames = 0;
  };
  virtual int32_t writeFrames(const Planar& samples) = 0;

  AudioStreamBasicDescription fileFormat_;
  std::optional<std::vector<uint32_t>> fileLabels_;

private:
  AudioStreamBasicDescription clientFormat_;
  bool hasClientFormat_ = false;
  std::vector<size_t> clientChannel_;  // file channel -> client channel
  std::vector<std::vector<int32_t>> intScratch_;
  std::vector<std::vector<float>> floatScratch_;
};

} // namespace quar::platform
