#include "io/platform/CoreAudioFileWriter.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "io/platform/CoreAudioSupport.h"

namespace quar {

namespace {

constexpr uint32_t codecQualityMax = 127;
// AIFF stores sizes in 32 bits; this leaves room for the header chunks.
constexpr int64_t aiffDataLimit = 0xFFFFFFFFll - 64;

} // namespace

int64_t EncoderSupport::nearestApplicableBitRate(const NativeFileWriter& converter, int64_t wanted) {
  const auto ranges = converter.applicableBitRates();
  if (!ranges || ranges->empty()) return wanted;
  const auto target = static_cast<double>(wanted);
  for (const ValueRange& range : *ranges)
    if (range.minimum <= target && target <= range.maximum) return wanted;
  double best = ranges->front().minimum;
  for (const ValueRange& range : *ranges)
    for (double end : {range.minimum, range.maximum})
      if (std::abs(end - target) < std::abs(best - target)) best = end;
  return static_cast<int64_t>(best);
}

CoreAudioFileWriter::CoreAudioFileWriter(const std::filesystem::path& url, const Configuration& configuration)
    : channels_(static_cast<int>(configuration.format.channelsPerFrame)), fileType_(configuration.fileType) {
  if (!configuration.floatClient && !NativeFileWriter::canEncode(configuration.format.formatID, configuration.bits))
    throw QuarError::encodeFailed("Apple Lossless (ALAC) can’t be written with " + std::to_string(configuration.bits) +
                                  "-bit samples; choose 16-bit or 24-bit");
  int32_t status = 0;
  int systemError = 0;
  if (configuration.layoutTag) {
    status = NativeFileWriter::create(url, configuration.fileType, configuration.format, configuration.layoutTag, ext_,
                                      &systemError);
    if (status != 0)
      status = NativeFileWriter::create(url, configuration.fileType, configuration.format, std::nullopt, ext_, &systemError);
  } else {
    status = NativeFileWriter::create(url, configuration.fileType, configuration.format, std::nullopt, ext_, &systemError);
  }
  if (status != 0 || !ext_)
    throw QuarError::encodeFailed("Creating the " + CoreAudioNames::container(configuration.fileType) + " file failed (" +
                                      FourCC::status(status) + ")",
                                  systemError);
  abl_.resize(static_cast<size_t>(std::max(channels_, 1)));
  try {
    configure(configuration);
  } catch (...) {
    ext_.reset();
    throw;
  }
}

CoreAudioFileWriter::~CoreAudioFileWriter() = default;  // releasing an open file closes it

void CoreAudioFileWriter::configure(const Configuration& configuration) {
  StreamDescription client;
  client.sampleRate = configuration.format.sampleRate;
  client.formatID = AudioFormatID::linearPCM;
  client.channelsPerFrame = static_cast<uint32_t>(channels_);
  client.framesPerPacket = 1;
  if (configuration.floatClient) {
    client.formatFlags = AudioFormatFlags::isFloat | AudioFormatFlags::isPacked |
                         AudioFormatFlags::isNonInterleaved;
    client.bytesPerPacket = 4;
    client.bytesPerFrame = 4;
    client.bitsPerChannel = 32;
  } else {
    QUAR_PRECONDITION(configuration.bits == 16 || configuration.bits == 24 || configuration.bits == 32, "Integer clients take 16, 24 or 32 bits");
    client.formatFlags = AudioFormatFlags::isSignedInteger | AudioFormatFlags::isPacked;
    client.bytesPerFrame = static_cast<uint32_t>(configuration.bits / 8 * channels_);
    client.bytesPerPacket = client.bytesPerFrame;
    client.bitsPerChannel = static_cast<uint32_t>(configuration.bits);
    quantizer_ = Quantizer{configuration.bits, configuration.dither && configuration.bits < 32, Quantizer::defaultSeed};
  }
  if (const int32_t status = ext_->setClientFormat(client); status != 0)
    throw QuarError::encodeFailed("Setting the client format failed (" + FourCC::status(status) + ")");
  ChannelLayouts::installCanonicalClientLayout(*ext_, channels_);
  if (configuration.format.formatID != AudioFormatID::linearPCM) configureEncoder(configuration);
}

void CoreAudioFileWriter::configureEncoder(const Configuration& configuration) {
  if (!ext_->hasEncoder()) return;
  const bool qualitySet = ext_->setCodecQuality(codecQualityMax) == 0;
  if (!configuration.bitRate) {
    if (!qualitySet) return;
  } else {
    const int64_t rate = EncoderSupport::nearestApplicableBitRate(*ext_, *configuration.bitRate);
    const auto applied = static_cast<uint32_t>(std::clamp<int64_t>(rate, 0, UINT32_MAX));
    if (const int32_t status = ext_->setBitRate(applied); status != 0)
      throw QuarError::encodeFailed("Setting the bitrate to " + std::to_string(rate / 1000) + " kbps failed (" +
                                    FourCC::status(status) + ")");
    appliedBitRate_ = rate;
  }
  if (const int32_t status = ext_->applyEncoderSettings(); status != 0)
    throw QuarError::encodeFailed("Applying encoder settings failed (" + FourCC::status(status) + ")");
}

void CoreAudioFileWriter::consume(ChannelViews chunk) {
  if (!ext_) throw QuarError::encodeFailed("the file is already closed");
  if (chunk.empty() || chunk.front().empty()) return;
  const auto frames = static_cast<int64_t>(chunk.front().size());
  QUAR_PRECONDITION(chunk.size() >= static_cast<size_t>(channels_), "A chunk lacks channels");
  const int64_t bytesPerFrame =
      quantizer_ ? int64_t{quantizer_->bytesPerSample()} * channels_ : int64_t{4} * channels_;
  if (fileType_ == AudioFileTypeID::aiff && dataBytes_ + frames * bytesPerFrame > aiffDataLimit)
    throw QuarError::encodeFailed("Writing audio failed (AIFF files hold at most 4 GiB of audio)");

  if (!quantizer_) {
    for (size_t c = 0; c < static_cast<size_t>(channels_); ++c) abl_[c] = chunk[c].data();
  } else {
    if (intCapacityFrames_ < frames) {
      intBuffer_.assign(static_cast<size_t>(frames * bytesPerFrame), 0);
      intCapacityFrames_ = frames;
    }
    quantizer_->quantizeConcurrently(chunk.first(static_cast<size_t>(channels_)),
                         std::span(intBuffer_).first(static_cast<size_t>(frames * bytesPerFrame)));
    abl_[0] = intBuffer_.data();
  }
  if (const int32_t status = ext_->write(frames, abl_); status != 0)
    throw QuarError::encodeFailed("Writing audio failed (" + FourCC::status(status) + ")", ext_->systemError());
  dataBytes_ += frames * bytesPerFrame;
}

void CoreAudioFileWriter::finish() {
  if (!ext_) return;
  const std::unique_ptr<NativeFileWriter> file = std::move(ext_);
  if (const int32_t status = file->close(); status != 0)
    throw QuarError::encodeFailed("Finalising the file failed (" + FourCC::status(status) + ")", file->systemError());
}

void CoreAudioFileWriter::abort() noexcept {
  if (ext_) ext_->close();
  ext_.reset();
}

} // namespace quar
