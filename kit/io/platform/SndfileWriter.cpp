#include "io/platform/SndfileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <sndfile.h>

#include "io/platform/AudioChannelLayout.h"

namespace quar {

namespace {

// The container and encoding of libsndfile for a file type and stream format; 0 when
// libsndfile cannot write them.
int sndfileFormat(uint32_t fileType, const StreamDescription& format, int& error) {
  int major = 0;
  if (fileType == AudioFileTypeID::wave) major = format.channelsPerFrame > 2 ? SF_FORMAT_WAVEX : SF_FORMAT_WAV;
  else if (fileType == AudioFileTypeID::rf64) major = SF_FORMAT_RF64;
  else if (fileType == AudioFileTypeID::aiff) major = SF_FORMAT_AIFF;
  else if (fileType == AudioFileTypeID::caf) major = SF_FORMAT_CAF;
  if (major == 0) {
    error = AudioStatus::unrecognizedFormat;
    return 0;
  }
  int subtype = 0;
  const bool isFloat = (format.formatFlags & AudioFormatFlags::isFloat) != 0;
  if (format.formatID == AudioFormatID::linearPCM) {
    if (isFloat && format.bitsPerChannel == 32) subtype = SF_FORMAT_FLOAT;
    else if (!isFloat && format.bitsPerChannel == 16) subtype = SF_FORMAT_PCM_16;
    else if (!isFloat && format.bitsPerChannel == 24) subtype = SF_FORMAT_PCM_24;
    else if (!isFloat && format.bitsPerChannel == 32) subtype = SF_FORMAT_PCM_32;
  }
  if (subtype == 0) {
    error = AudioStatus::unsupportedFormat;
    return 0;
  }
  const int endian = (format.formatFlags & AudioFormatFlags::isBigEndian) != 0 ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE;
  if (major == SF_FORMAT_AIFF && endian == SF_ENDIAN_LITTLE) {
    error = AudioStatus::unsupportedFormat;  // plain AIFF is big-endian
    return 0;
  }
  return major | subtype | endian;
}

// libsndfile's speaker positions for labels; surround labels become side positions when the
// layout also has rear surrounds.
std::vector<int> channelMap(const std::vector<uint32_t>& labels) {
  using L = ChannelLabel;
  const bool hasRear = std::find(labels.begin(), labels.end(), L::rearSurroundLeft) != labels.end();
  std::vector<int> map;
  for (uint32_t label : labels) {
    switch (label) {
    case L::mono: map.push_back(SF_CHANNEL_MAP_MONO); break;
    case L::left: map.push_back(SF_CHANNEL_MAP_LEFT); break;
    case L::right: map.push_back(SF_CHANNEL_MAP_RIGHT); break;
    case L::center: map.push_back(SF_CHANNEL_MAP_CENTER); break;
    case L::lfeScreen: map.push_back(SF_CHANNEL_MAP_LFE); break;
    case L::leftSurround: map.push_back(hasRear ? SF_CHANNEL_MAP_SIDE_LEFT : SF_CHANNEL_MAP_REAR_LEFT); break;
    case L::rightSurround: map.push_back(hasRear ? SF_CHANNEL_MAP_SIDE_RIGHT : SF_CHANNEL_MAP_REAR_RIGHT); break;
    case L::leftCenter: map.push_back(SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER); break;
    case L::rightCenter: map.push_back(SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER); break;
    case L::centerSurround: map.push_back(SF_CHANNEL_MAP_REAR_CENTER); break;
    case L::rearSurroundLeft: map.push_back(SF_CHANNEL_MAP_REAR_LEFT); break;
    case L::rearSurroundRight: map.push_back(SF_CHANNEL_MAP_REAR_RIGHT); break;
    default: map.push_back(SF_CHANNEL_MAP_INVALID); break;
    }
  }
  return map;
}

} // namespace

int32_t SndfileWriter::create(const std::filesystem::path& path, uint32_t fileType,
                              const StreamDescription& format,
                              const std::optional<std::vector<uint32_t>>& labels,
                              std::unique_ptr<NativeFileWriter>& file, int* systemError) {
  int32_t error = 0;
  SF_INFO info{};
  info.samplerate = static_cast<int>(format.sampleRate);
  info.channels = static_cast<int>(format.channelsPerFrame);
  info.format = sndfileFormat(fileType, format, error);
  if (info.format == 0) return error;
  if (static_cast<double>(info.samplerate) != format.sampleRate || !sf_format_check(&info))
    return AudioStatus::unsupportedFormat;

  // Open the descriptor ourselves so that a missing folder or a permission problem keeps its
  // cause; libsndfile then owns it.
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    const int error = errno;
    if (systemError) *systemError = error;
    return AudioStatus::fromErrno(error);
  }
  errno = 0;
  SNDFILE* handle = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
  if (handle == nullptr) {
    // A system call that failed writing the header (a full disk) keeps its cause; otherwise
    // libsndfile refused the format.
    const int error = sf_error(nullptr) == SF_ERR_SYSTEM ? errno : 0;
    ::close(descriptor);
    if (error == 0) return AudioStatus::unsupportedFormat;
    if (systemError) *systemError = error;
    return AudioStatus::fromErrno(error);
  }
  if (labels) {
    std::vector<int> map = channelMap(*labels);
    if (sf_command(handle, SFC_SET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) !=
        SF_TRUE) {
      sf_close(handle);
      return AudioStatus::unsupportedFormat;
    }
  }
  std::unique_ptr<SndfileWriter> writer(new SndfileWriter(format, handle));
  file = std::move(writer);
  return AudioStatus::ok;
}

SndfileWriter::SndfileWriter(const StreamDescription& format, sf_private_tag* file)
    : NativeFileWriter(format), file_(file) {}

SndfileWriter::~SndfileWriter() { close(); }

int32_t SndfileWriter::outcome(bool complete) {
  if (complete) return AudioStatus::ok;
  if (errno != 0) systemError_ = errno;  // libsndfile leaves the failed system call's error behind
  return AudioStatus::writeFailed;
}

int32_t SndfileWriter::writeFrames(const Planar& samples) {
  if (file_ == nullptr) return AudioStatus::writeFailed;
  errno = 0;
  const size_t frames = static_cast<size_t>(samples.frames);
  sf_count_t written = 0;
  if (!samples.ints.empty()) {
    const size_t channels = samples.ints.size();
    interleavedInts_.resize(frames * channels);
    for (size_t c = 0; c < channels; ++c)
      for (size_t i = 0; i < frames; ++i) interleavedInts_[i * channels + c] = samples.ints[c][i];
    written = sf_writef_int(file_, interleavedInts_.data(), samples.frames);
  } else {
    const size_t channels = samples.floats.size();
    interleavedFloats_.resize(frames * channels);
    for (size_t c = 0; c < channels; ++c)
      for (size_t i = 0; i < frames; ++i) interleavedFloats_[i * channels + c] = samples.floats[c][i];
    written = sf_writef_float(file_, interleavedFloats_.data(), samples.frames);
  }
  return outcome(written == samples.frames);
}

std::optional<int32_t> SndfileWriter::writeRawIntegers(const uint8_t* bytes, int64_t frames, uint32_t bits) {
  using F = AudioFormatFlags;
  const StreamDescription& file = fileFormat();
  if (file_ == nullptr || (file.formatFlags & (F::isFloat | F::isBigEndian)) != 0 ||
      file.bitsPerChannel != bits)
    return std::nullopt;
  const sf_count_t length = frames * static_cast<sf_count_t>(file.bytesPerFrame);
  errno = 0;
  return outcome(sf_write_raw(file_, bytes, length) == length);
}

int32_t SndfileWriter::close() {
  if (file_ == nullptr) return AudioStatus::ok;
  SNDFILE* handle = file_;
  file_ = nullptr;
  const int error = sf_error(handle);
  errno = 0;
  const int closed = sf_close(handle);
  return outcome(error == SF_ERR_NO_ERROR && closed == 0);
}

} // namespace quar
