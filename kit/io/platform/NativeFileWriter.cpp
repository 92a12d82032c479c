#include "io/platform/NativeFileWriter.h"

#include <algorithm>
#include <cmath>

#include "io/platform/ChannelLabels.h"
#include "io/platform/LibavFileWriter.h"
#include "io/platform/SndfileWriter.h"

namespace quar::platform {

namespace {

constexpr uint32_t lpcm = fourCharCode("lpcm");
constexpr uint32_t alac = fourCharCode("alac");
constexpr uint32_t aac = fourCharCode("aac ");

bool isFloatClient(const AudioStreamBasicDescription& f) {
  return f.formatID == lpcm && f.bitsPerChannel == 32 && (f.formatFlags & formatFlag::isFloat) != 0 &&
         (f.formatFlags & formatFlag::isNonInterleaved) != 0 && (f.formatFlags & formatFlag::isBigEndian) == 0 &&
         f.bytesPerFrame == 4;
}

bool isIntegerClient(const AudioStreamBasicDescription& f) {
  const uint32_t b = f.bitsPerChannel;
  return f.formatID == lpcm && (b == 16 || b == 24 || b == 32) && (f.formatFlags & formatFlag::isFloat) == 0 &&
         (f.formatFlags & formatFlag::isSignedInteger) != 0 && (f.formatFlags & formatFlag::isNonInterleaved) == 0 &&
         (f.formatFlags & formatFlag::isBigEndian) == 0 && f.bytesPerFrame == b / 8 * f.channelsPerFrame;
}

} // namespace

bool canEncode(uint32_t formatID, int bits) { return formatID != alac || bits <= 24; }

std::optional<std::vector<double>> encodeSampleRates(uint32_t formatID) {
  if (formatID != aac) return std::nullopt;
  return LibavFileWriter::aacSampleRates();
}

int32_t NativeFileWriter::create(const std::filesystem::path& path, uint32_t fileType,
                                 const AudioStreamBasicDescription& format, std::optional<uint32_t> layoutTag,
                                 std::unique_ptr<NativeFileWriter>& file) {
  file.reset();
  if (format.channelsPerFrame < 1 || !(format.sampleRate > 0) || !std::isfinite(format.sampleRate))
    return writeStatus::unsupportedDataFormat;
  std::optional<std::vector<uint32_t>> labels;
  if (layoutTag) {
    labels = channelLabels(*layoutTag);
    if (!labels || labels->size() != format.channelsPerFrame) return writeStatus::unsupportedDataFormat;
  }
  if (fileType == fourCharCode("m4af")) return LibavFileWriter::create(path, format, labels, file);
  return SndfileWriter::create(path, fileType, format, labels, file);
}

int32_t NativeFileWriter::setClientFormat(const AudioStreamBasicDescription& client) {
  if (client.channelsPerFrame != fileFormat_.channelsPerFrame || client.sampleRate != fileFormat_.sampleRate)
    return writeStatus::unsupportedDataFormat;
  if (!isFloatClient(client) && !isIntegerClient(client)) return writeStatus::unsupportedDataFormat;
  // Float data bound for integer samples would need the library's own conversion, which
  // neither rounds nor clips: integer PCM and lossless files take integer clients only.
  const bool floatFile = fileFormat_.formatID == aac ||
                         (fileFormat_.formatID == lpcm && (fileFormat_.formatFlags & formatFlag::isFloat) != 0);
  const bool integerFile = !floatFile;
  if (integerFile && isFloatClient(client)) return writeStatus::unsupportedDataFormat;
  clientFormat_ = client;
  hasClientFormat_ = true;
  const size_t channels = fileFormat_.channelsPerFrame;
  if (clientChannel_.size() != channels) {
    clientChannel_.resize(channels);
    for (size_t c = 0; c < channels; ++c) clientChannel_[c] = c;
  }
  return 0;
}

int32_t NativeFileWriter::setClientLayout(uint32_t layoutTag) {
  const auto client = channelLabels(layoutTag);
  if (!fileLabels_ || !client || client->size() != fileLabels_->size()) return writeStatus::unsupportedDataFormat;
  std::vector<size_t> order(client->size());
  for (size_t f = 0; f < order.size(); ++f) {
    const auto found = std::find(client->begin(), client->end(), (*fileLabels_)[f]);
    if (found == client->end()) return writeStatus::unsupportedDataFormat;
    order[f] = static_cast<size_t>(found - client->begin());
  }
  clientChannel_ = std::move(order);
  return 0;
}

int32_t NativeFileWriter::write(int64_t frames, std::span<const void* const> buffers) {
  if (!hasClientFormat_) return writeStatus::unsupportedDataFormat;
  if (frames < 1) return 0;
  const size_t channels = fileFormat_.channelsPerFrame;
  const auto count = static_cast<size_t>(frames);
  Planar planar;
  planar.frames = frames;
  if (isFloatClient(clientFormat_)) {
    if (buffers.size() < channels) return writeStatus::unsupportedDataFormat;
    floatScratch_.resize(channels);
    for (size_t f = 0; f < channels; ++f) {
      const auto* source = static_cast<const float*>(buffers[clientChannel_[f]]);
      floatScratch_[f].assign(source, source + count);
    }
    planar.floats = floatScratch_;
  } else {
    if (buffers.empty()) return writeStatus::unsupportedDataFormat;
    const auto* bytes = static_cast<const uint8_t*>(buffers.front());
    const size_t width = clientFormat_.bitsPerChannel / 8;
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

} // namespace quar::platform
