// NativeReader: the reading handle of the native audio file layer. It opens WAV, WAVEX, RF64,
// W64, AIFF, AIFC, CAF, FLAC, MP3 and AU files through libsndfile and the MP4 family (M4A, M4B,
// MP4, 3GP), ADTS AAC and what libsndfile cannot decode in CAF through libavformat/libavcodec;
// everything else (Ogg included) is refused with AudioStatus::unrecognizedFormat. Once the
// client format (32-bit float, one buffer per channel, the file's rate and channel count) is
// set, reads deliver whole frames in client channel order and 0 frames at the end of the file.
// Failures are AudioStatus codes. One handle is used by one thread at a time, except that
// readers of linear PCM through libsndfile serve readAt from any number of threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/platform/AudioStatus.h"
#include "io/platform/NativeAudioFile.h"
#include "io/platform/StreamDescription.h"

namespace quar {

class NativeReader : public NativeAudioFile {
public:
  // Frames a single read may request at most.
  static constexpr int64_t maxReadFrames = 1 << 20;
  // Files with more channels than this are refused.
  static constexpr uint32_t maxChannels = 64;

  // Opens `path`; on failure returns null and sets `status` (never 0 then).
  static std::unique_ptr<NativeReader> open(const std::filesystem::path& path, int32_t& status);
  // Lower-case extensions, without dot, of the files this layer reads.
  static const std::vector<std::string>& readableExtensions();

  const StreamDescription& fileFormat() const { return fileFormat_; }
  // Frames the file declares, >= 0 (0 when unknown).
  int64_t lengthFrames() const { return lengthFrames_; }
  // Container code (AudioFileTypeID); 0 when unknown.
  uint32_t fileType() const { return fileType_; }
  // Bit depth of the source samples as the file states it.
  virtual std::optional<int32_t> sourceBitDepth() const { return std::nullopt; }
  // Encoded bit rate in bits per second as the file states it.
  virtual std::optional<uint32_t> bitRate() const { return std::nullopt; }

  std::optional<AudioChannelLayout> fileChannelLayout() const override { return fileLayout_; }
  int32_t setClientChannelLayout(const AudioChannelLayout& layout) override;

  // Accepts only StreamDescription::floatNonInterleaved at the file's rate and channel count;
  // prepares the decoder (unsupportedFormat when the codec has none).
  int32_t setClientFormat(const StreamDescription& client);
  // Reads up to `frames` ([1, maxReadFrames]) frames into one buffer per channel and sets
  // `frames` to the number read; 0 at the end of the file.
  int32_t read(std::span<float* const> channels, int64_t& frames);
  // Whether readAt works (linear PCM read through libsndfile).
  virtual bool canReadAt() const { return false; }
  // Reads exactly `frames` (>= 1) frames from frame `start` into one buffer per channel in
  // client order, after setClientFormat; the range must lie within lengthFrames(). Safe to call
  // from several threads at once (not together with read or a client change).
  int32_t readAt(int64_t start, std::span<float* const> channels, int64_t frames) const;

protected:
  NativeReader() = default;
  // Called once by setClientFormat.
  virtual int32_t prepareDecoding() { return 0; }
  // Reads up to `maxFrames` frames into `channels`, indexed in file channel order.
  virtual int32_t readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) = 0;
  // readAt's work with buffers indexed in file channel order.
  virtual int32_t readFileOrderAt(int64_t /*start*/, float* const* /*channels*/, int64_t /*frames*/) const {
    return AudioStatus::unsupportedFormat;
  }

  StreamDescription fileFormat_;
  int64_t lengthFrames_ = 0;
  uint32_t fileType_ = 0;
  std::optional<AudioChannelLayout> fileLayout_;

private:
  bool clientFormatSet_ = false;
  std::vector<int> clientOrder_;  // client channel i reads file channel clientOrder_[i]
  std::vector<float*> fileOrderBuffers_;
};

} // namespace quar
