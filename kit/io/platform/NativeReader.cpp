#include "io/platform/NativeReader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Precondition.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/LibavReader.h"
#include "io/platform/SndfileReader.h"

namespace quar {

namespace {

// A descriptor of a regular file opened for reading, closed on destruction.
class ReadableFileDescriptor {
public:
  explicit ReadableFileDescriptor(const std::filesystem::path& path) {
    // O_NONBLOCK keeps a FIFO from blocking the open; such paths are refused below.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      status_ = AudioStatus::fromErrno(errno);
      return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
      status_ = AudioStatus::fromErrno(errno);
    } else if (!S_ISREG(info.st_mode)) {
      status_ = AudioStatus::unrecognizedFormat;
    } else if (::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
      status_ = AudioStatus::fromErrno(errno);
    }
  }
  ~ReadableFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadableFileDescriptor(const ReadableFileDescriptor&) = delete;
  ReadableFileDescriptor& operator=(const ReadableFileDescriptor&) = delete;

  int fd() const { return fd_; }
  int32_t status() const { return status_; }

private:
  int fd_ = -1;
  int32_t status_ = AudioStatus::ok;
};

} // namespace

std::unique_ptr<NativeReader> NativeReader::open(const std::filesystem::path& path, int32_t& status) {
  const ReadableFileDescriptor file(path);
  if (file.status() != AudioStatus::ok) {
    status = file.status();
    return nullptr;
  }
  // Ogg is left to the FFmpeg tools without a library attempt (libsndfile leaks on damaged
  // Vorbis streams).
  char magic[4] = {};
  if (::pread(file.fd(), magic, sizeof magic, 0) == sizeof magic && std::memcmp(magic, "OggS", 4) == 0) {
    status = AudioStatus::unrecognizedFormat;
    return nullptr;
  }
  int32_t sndfileStatus = AudioStatus::ok;
  if (auto reader = SndfileReader::open(file.fd(), sndfileStatus)) {
    status = AudioStatus::ok;
    return reader;
  }
  if (sndfileStatus == AudioStatus::fileNotFound || sndfileStatus == AudioStatus::permissionDenied) {
    status = sndfileStatus;
    return nullptr;
  }
  int32_t libavStatus = AudioStatus::ok;
  if (auto reader = LibavReader::open(path, libavStatus)) {
    status = AudioStatus::ok;
    return reader;
  }
  // Report the failure of the library that recognised the container, if either did.
  status = sndfileStatus != AudioStatus::unrecognizedFormat ? sndfileStatus : libavStatus;
  return nullptr;
}

const std::vector<std::string>& NativeReader::readableExtensions() {
  static const std::vector<std::string> extensions{
      "wav", "wave", "bwf", "rf64", "w64", "aif", "aiff", "aifc", "caf", "flac", "mp3",
      "au",  "snd",  "m4a", "m4b",  "mp4", "3gp", "aac",  "adts"};
  return extensions;
}

int32_t NativeReader::setClientChannelLayout(const AudioChannelLayout& layout) {
  const auto clientLabels = channelLabels(layout);
  const auto fileLabels = fileLayout_ ? channelLabels(*fileLayout_) : std::nullopt;
  if (!clientLabels || !fileLabels) return AudioStatus::unsupportedFormat;
  auto order = channelPermutation(*fileLabels, *clientLabels);
  if (!order || order->size() != fileFormat_.channelsPerFrame) return AudioStatus::unsupportedFormat;
  clientOrder_ = std::move(*order);
  return AudioStatus::ok;
}

int32_t NativeReader::setClientFormat(const StreamDescription& client) {
  if (client != StreamDescription::floatNonInterleaved(fileFormat_.sampleRate, fileFormat_.channelsPerFrame))
    return AudioStatus::unsupportedFormat;
  if (clientFormatSet_) return AudioStatus::ok;
  if (const int32_t status = prepareDecoding(); status != AudioStatus::ok) return status;
  clientFormatSet_ = true;
  fileOrderBuffers_.resize(fileFormat_.channelsPerFrame);
  return AudioStatus::ok;
}

int32_t NativeReader::read(std::span<float* const> channels, int64_t& frames) {
  QUAR_PRECONDITION(clientFormatSet_, "Reading requires a client format");
  QUAR_PRECONDITION(channels.size() == fileFormat_.channelsPerFrame, "One buffer per channel");
  QUAR_PRECONDITION(frames >= 1 && frames <= maxReadFrames, "Frame count out of range");
  for (size_t i = 0; i < channels.size(); ++i)
    fileOrderBuffers_[clientOrder_.empty() ? i : static_cast<size_t>(clientOrder_[i])] = channels[i];
  const int64_t requested = frames;
  frames = 0;
  return readFileOrder(fileOrderBuffers_.data(), requested, frames);
}

int32_t NativeReader::readAt(int64_t start, std::span<float* const> channels, int64_t frames) const {
  QUAR_PRECONDITION(clientFormatSet_, "Reading requires a client format");
  QUAR_PRECONDITION(channels.size() == fileFormat_.channelsPerFrame, "One buffer per channel");
  QUAR_PRECONDITION(start >= 0 && frames >= 1 && frames <= lengthFrames_ - start, "Frames outside the file");
  std::array<float*, maxChannels> fileOrder{};
  for (size_t i = 0; i < channels.size(); ++i)
    fileOrder[clientOrder_.empty() ? i : static_cast<size_t>(clientOrder_[i])] = channels[i];
  return readFileOrderAt(start, fileOrder.data(), frames);
}

} // namespace quar
