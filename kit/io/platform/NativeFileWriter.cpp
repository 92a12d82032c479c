#include "io/platform/NativeFileWriter.h"

#include <algorithm>
#include <cmath>

#include "io/platform/FlacFileWriter.h"
#include "io/platform/LibavFileWriter.h"
#include "io/platform/SndfileWriter.h"

namespace quar {

namespace {

bool isFloatClient(const StreamDescription& f) {
  using F = AudioFormatFlags;
  return f.formatID == AudioFormatID::linearPCM && f.bitsPerChannel == 32 && (f.formatFlags & F::isFloat) != 0 &&
         (f.formatFlags & F::isNonInterleaved) != 0 && (f.formatFlags & F::isBigEndian) == 0 && f.bytesPerFrame == 4;
}

bool isIntegerClient(const StreamDescription& f) {
  using F = AudioFormatFlags;
  const uint32_t b = f.bitsPerChannel;
  return f.formatID == AudioFormatID::linearPCM && (b == 16 || b == 24 || b == 32) && (f.formatFlags & F::isFloat) == 0 &&
         (f.formatFlags & F::isSignedInteger) != 0 && (f.formatFlags & F::isNonInterleaved) == 0 &&
         (f.formatFlags & F::isBigEndian) == 0 && f.bytesPerFrame == b / 8 * f.channelsPerFrame;
}

} // namespace

bool NativeFileWriter::canEncode(uint32_t formatID, int bits) {
  return formatID != AudioFormatID::appleLossless || bits <= 24;
}

int32_t NativeFileWriter::create(const std::filesystem::path& path, uint32_t fileType, const StreamDescription& format,
                                 std::optional<uint32_t> layoutTag, std::unique_ptr<NativeFileWriter>& file,
                                 int* systemError) {
  file.reset();
  if (systemError) *systemError = 0;
  if (format.channelsPerFrame < 1 || !(format.sampleRate > 0) || !std::isfinite(format.sampleRate))
    return AudioStatus::unsupportedFormat;
  std::optional<std::vector<uint32_t>> labels;
  if (layoutTag) {
    labels = labelsOfLayoutTag(*layoutTag);
    if (!labels || labels->size() != format.channelsPerFrame) return AudioStatus::unsupportedFormat;
  }
  const int32_t status = fileType == AudioFileTypeID::m4a ? LibavFileWriter::create(path, format, labels, file, systemError)
                         : fileType == AudioFileTypeID::flac
                             ? FlacFileWriter::create(path, format, file, systemError)
                             : SndfileWriter::create(path, fileType, format, labels, file, systemError);
  if (status == AudioStatus::ok && layoutTag) file->fileLayout_ = AudioChannelLayout::withTag(*layoutTag);
  return status;
}

int32_t NativeFileWriter::setClientFormat(const StreamDescription& client) {
  if (client.channelsPerFrame != fileFormat_.channelsPerFrame || client.sampleRate != fileFormat_.sampleRate)
    return AudioStatus::unsupportedFormat;
  if (!isFloatClient(client) && !isIntegerClient(client)) return AudioStatus::unsupportedFormat;
  // Float data bound for integer samples would need the library's own conversion, which
  // neither rounds nor clips: integer PCM and lossless files take integer clients only.
  const bool floatFile =
      fileFormat_.formatID == AudioFormatID::mpeg4AAC ||
      (fileFormat_.formatID == AudioFormatID::linearPCM && (fileFormat_.formatFlags & AudioFormatFlags::isFloat) != 0);
  if (!floatFile && isFloatClient(client)) return AudioStatus::unsupportedFormat;
  clientFormat_ = client;
  hasClientFormat_ = true;
  const size_t channels = fileFormat_.channelsPerFrame;
  if (clientChannel_.size() != channels) {
    clientChannel_.resize(channels);
    for (size_t c = 0; c < channels; ++c) clientChannel_[c] = c;
  }
  return AudioStatus::ok;
}

int32_t NativeFileWriter::setClientChannelLayout(const AudioChannelLayout& layout) {
  const auto client = channelLabels(layout);
  const auto stored = fileLayout_ ? channelLabels(*fileLayout_) : std::nullopt;
  if (!client || !stored) return AudioStatus::unsupportedFormat;
  const auto order = channelPermutation(*client, *stored);  // file channel -> client channel
  if (!order) return AudioStatus::unsupportedFormat;
  clientChannel_.assign(order->begin(), order->end());
  return AudioStatus::ok;
}

int32_t NativeFileWriter::write(int64_t frames, std::span<const void* const> buffers) {
  if (!hasClientFormat_) return AudioStatus::unsupportedFormat;
  if (frames < 1) return AudioStatus::ok;
  const size_t channels = fileFormat_.channelsPerFrame;
  const auto count = static_cast<size_t>(frames);
  Planar planar;
  planar.frames = frames;
  if (isFloatClient(clientFormat_)) {
    if (buffers.size() < channels) return AudioStatus::unsupportedFormat;
    floatScratch_.resize(channels);
    for (size_t f = 0; f < channels; ++f) {
      const auto* source = static_cast<const float*>(buffers[clientChannel_[f]]);
      floatScratch_[f].assign(source, source + count);
    }
    planar.floats = floatScratch_;
  } else {
    if (buffers.empty()) return AudioStatus::unsupportedFormat;
    const auto* bytes = static_cast<const uint8_t*>(buffers.front());
    const size_t width = clientFormat_.bitsPerChannel / 8;
    bool identity = true;
    for (size_t f = 0; f < channels; ++f) identity = identity && clientChannel_[f] == f;
    if (identity) {
      if (const auto status = writeRawIntegers(bytes, frames, clientFormat_.bitsPerChannel)) return *status;
    }
    intScratch_.resize(channels);
    for (size_t f = 0; f < channels; ++f) {
      std::vector<int32_t>& out = intScratch_[f];
      out.resize(count);
      const uint8_t* sample = bytes + clientChannel_[f] * width;
      for (size_t i = 0; i < count; ++i, sample += width * channels) {
        uint32_t raw = 0;
        for (size_t b = 0; b < width; ++b) raw |= uint32_t{sample[b]} << (8 * (b + 4 - width));
        out[i] = static_cast<int32_t>(raw);
      }
    }
    planar.ints = intScratch_;
  }
  return writeFrames(planar);
}

} // namespace quar
