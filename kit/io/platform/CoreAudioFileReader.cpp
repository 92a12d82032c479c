#include "io/platform/CoreAudioFileReader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <span>
#include <system_error>
#include <vector>

#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/CoreAudioSupport.h"

namespace quar {

namespace {

// Blocks read at once between two progress reports.
constexpr int64_t concurrentBatch = 32;

std::optional<int64_t> fileSizeOf(const std::filesystem::path& url) {
  std::error_code error;
  const auto size = std::filesystem::file_size(url, error);
  if (error) return std::nullopt;
  return static_cast<int64_t>(size);
}

} // namespace

CoreAudioFileReader::CoreAudioFileReader(std::filesystem::path url) : url_(std::move(url)) {
  int32_t status = AudioStatus::ok;
  ext_ = NativeReader::open(url_, status);
  if (!ext_) throw CoreAudioCannotDecode("The native reader can\u2019t open the file (" + FourCC::status(status) + ")");
  const StreamDescription& format = ext_->fileFormat();
  lengthFrames_ = std::max<int64_t>(ext_->lengthFrames(), 0);
  // A header value that cannot be true: no channel, an impossible rate, or more frames than
  // the file's bytes can hold.
  const int64_t bytesPerFrame = format.formatID == AudioFormatID::linearPCM ? format.bytesPerFrame : 0;
  const auto fileBytes = fileSizeOf(url_);
  if (format.channelsPerFrame == 0 || !isPlausibleSampleRate(format.sampleRate) ||
      (fileBytes && !canHoldFrames(*fileBytes, lengthFrames_, bytesPerFrame)))
    throw CoreAudioCannotDecode("The native reader can\u2019t describe the audio stream");
  fileFormat_ = format;
  fileType_ = ext_->fileType();
}

void CoreAudioFileReader::prepareClient() {
  const uint32_t channels = fileFormat_.channelsPerFrame;
  const int32_t clientStatus = ext_->setClientFormat(StreamDescription::floatNonInterleaved(fileFormat_.sampleRate, channels));
  if (clientStatus != AudioStatus::ok)
    throw CoreAudioCannotDecode("The native reader has no decoder for " + CoreAudioNames::codec(fileFormat_.formatID) +
                                " (" + FourCC::status(clientStatus) + ")");
  ChannelLayouts::installCanonicalClientLayout(*ext_, static_cast<int>(channels));
}

AudioFileInfo CoreAudioFileReader::decode(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                                          const DecodeChunkHandler& onChunk) {
  const uint32_t channels = fileFormat_.channelsPerFrame;
  prepareClient();

  std::vector<std::vector<float>> buffers(channels, std::vector<float>(chunkFrames));
  std::vector<float*> pointers(channels);
  std::vector<std::span<const float>> views(channels);
  for (size_t c = 0; c < channels; ++c) pointers[c] = buffers[c].data();

  int64_t delivered = 0;
  for (;;) {
    int64_t frames = chunkFrames;
    const int32_t status = ext_->read(pointers, frames);
    if (status != AudioStatus::ok) {
      const std::string message = "Native decode error (" + FourCC::status(status) + ") after " +
                                  std::to_string(delivered) + " frames";
      if (delivered == 0) throw CoreAudioCannotDecode(message, true);
      throw CoreAudioReadFailure(message);
    }
    if (frames == 0) {
      if (delivered == 0 && lengthFrames_ > 0) throw CoreAudioCannotDecode("The native reader decoded no audio", true);
      if (delivered == 0) onFormat(info(0));
      if (progress) progress(1.0);
      return info(delivered);
    }
    if (delivered == 0) onFormat(info(lengthFrames_));
    for (size_t c = 0; c < channels; ++c) views[c] = std::span<const float>(buffers[c].data(), static_cast<size_t>(frames));
    onChunk(views);
    delivered += frames;
    if (progress) {
      const double fraction =
          lengthFrames_ < 1 ? 0.0 : std::min(static_cast<double>(delivered) / static_cast<double>(lengthFrames_), 1.0);
      if (!progress(fraction)) throw QuarError::cancelled();
    }
  }
}

bool CoreAudioFileReader::canDecodeConcurrently() const { return ext_->canReadAt() && lengthFrames_ > 0; }

AudioFileInfo CoreAudioFileReader::decodeConcurrently(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                                                      const DecodeRoomHandler& onRoom, int64_t blockFrames,
                                                      DecodeStages* stages) {
  QUAR_PRECONDITION(canDecodeConcurrently(), "The file can’t be read at any position");
  QUAR_PRECONDITION(blockFrames >= 1, "Blocks need at least one frame");
  prepareClient();
  const auto channels = static_cast<size_t>(fileFormat_.channelsPerFrame);
  const int64_t blocks = (lengthFrames_ + blockFrames - 1) / blockFrames;
  onFormat(info(lengthFrames_));
  using Clock = std::chrono::steady_clock;
  std::atomic<int64_t> readNanoseconds{0}, joinNanoseconds{0};
  const auto nanoseconds = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
  };
  for (int64_t first = 0; first < blocks; first += concurrentBatch) {
    const int64_t count = std::min(concurrentBatch, blocks - first);
    parallelFor(count, true, [&](int64_t index) {
      const int64_t start = (first + index) * blockFrames;
      const int64_t frames = std::min(blockFrames, lengthFrames_ - start);
      const Clock::time_point began = Clock::now();
      const std::unique_ptr<BlockRoom> room = onRoom(static_cast<int>(channels), start, frames);
      const Clock::time_point reading = Clock::now();
      if (const int32_t status = ext_->readAt(start, room->channels(), frames); status != AudioStatus::ok)
        throw CoreAudioReadFailure("Native decode error (" + FourCC::status(status) + ") at frame " +
                                   std::to_string(start));
      const Clock::time_point read = Clock::now();
      room->finish(frames);
      readNanoseconds += nanoseconds(reading, read);
      joinNanoseconds += nanoseconds(began, reading) + nanoseconds(read, Clock::now());
    });
    // After the last batch the decode is finished: a cancel that comes then has nothing left to stop.
    if (progress && !progress(static_cast<double>(first + count) / static_cast<double>(blocks)) &&
        first + count < blocks)
      throw QuarError::cancelled();
  }
  if (stages) *stages = {static_cast<double>(readNanoseconds) * 1e-9, 0, static_cast<double>(joinNanoseconds) * 1e-9, blocks};
  return info(lengthFrames_);
}

AudioFileInfo CoreAudioFileReader::info(int64_t frameCount) const {
  AudioFileInfo info;
  info.url = url_;
  info.containerName = CoreAudioNames::container(fileType_);
  info.codecName = CoreAudioNames::codec(fileFormat_.formatID);
  info.sampleRate = fileFormat_.sampleRate;
  info.channelCount = static_cast<int>(fileFormat_.channelsPerFrame);
  const uint32_t formatID = fileFormat_.formatID;
  if (formatID == AudioFormatID::linearPCM) {
    info.bitDepth = static_cast<int>(fileFormat_.bitsPerChannel);
    info.isFloat = (fileFormat_.formatFlags & AudioFormatFlags::isFloat) != 0;
    info.isLossy = false;
  } else if (formatID == AudioFormatID::appleLossless || formatID == CAFormat::flac) {
    switch (fileFormat_.formatFlags) {
    case 1: info.bitDepth = 16; break;
    case 2: info.bitDepth = 20; break;
    case 3: info.bitDepth = 24; break;
    case 4: info.bitDepth = 32; break;
    default:
      if (const auto bits = ext_->sourceBitDepth(); bits && *bits >= 1) info.bitDepth = *bits;
      break;
    }
    info.isLossy = false;
  } else {
    info.isLossy = true;
  }
  info.frameCount = frameCount;
  info.fileSize = fileSizeOf(url_);
  if (formatID != AudioFormatID::linearPCM) {
    if (const auto bitRate = ext_->bitRate(); bitRate && *bitRate != 0) {
      info.bitRateKbps = static_cast<int>(*bitRate / 1000);
    } else if (info.fileSize && frameCount >= 1) {
      const double seconds = static_cast<double>(frameCount) / fileFormat_.sampleRate;
      const int64_t kbps = checkedInt(static_cast<double>(*info.fileSize) * 8.0 / seconds / 1000.0);
      info.bitRateKbps = static_cast<int>(std::min<int64_t>(kbps, std::numeric_limits<int>::max()));
    }
  }
  info.nativeExportFormat = CoreAudioNames::nativeExportFormat(fileType_, formatID);
  info.decoderName = "Native";
  return info;
}

} // namespace quar
