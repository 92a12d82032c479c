#include "io/platform/SndfileReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sndfile.h>

#include "base/AudioFormats.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/FlacStreamLength.h"

namespace quar {

namespace {

constexpr int64_t blockFrames = 4096;

uint32_t labelForSndfileChannel(int channel) {
  using L = ChannelLabel;
  switch (channel) {
  case SF_CHANNEL_MAP_MONO: return L::mono;
  case SF_CHANNEL_MAP_LEFT:
  case SF_CHANNEL_MAP_FRONT_LEFT: return L::left;
  case SF_CHANNEL_MAP_RIGHT:
  case SF_CHANNEL_MAP_FRONT_RIGHT: return L::right;
  case SF_CHANNEL_MAP_CENTER:
  case SF_CHANNEL_MAP_FRONT_CENTER: return L::center;
  case SF_CHANNEL_MAP_REAR_CENTER: return L::centerSurround;
  case SF_CHANNEL_MAP_REAR_LEFT: return L::leftSurround;
  case SF_CHANNEL_MAP_REAR_RIGHT: return L::rightSurround;
  case SF_CHANNEL_MAP_LFE: return L::lfeScreen;
  case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER: return L::leftCenter;
  case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER: return L::rightCenter;
  case SF_CHANNEL_MAP_SIDE_LEFT: return L::leftSurroundDirect;
  case SF_CHANNEL_MAP_SIDE_RIGHT: return L::rightSurroundDirect;
  case SF_CHANNEL_MAP_TOP_CENTER: return L::topCenterSurround;
  case SF_CHANNEL_MAP_TOP_FRONT_LEFT: return L::verticalHeightLeft;
  case SF_CHANNEL_MAP_TOP_FRONT_RIGHT: return L::verticalHeightRight;
  case SF_CHANNEL_MAP_TOP_FRONT_CENTER: return L::verticalHeightCenter;
  case SF_CHANNEL_MAP_TOP_REAR_LEFT: return L::topBackLeft;
  case SF_CHANNEL_MAP_TOP_REAR_RIGHT: return L::topBackRight;
  case SF_CHANNEL_MAP_TOP_REAR_CENTER: return L::topBackCenter;
  case SF_CHANNEL_MAP_AMBISONIC_B_W: return L::ambisonicW;
  case SF_CHANNEL_MAP_AMBISONIC_B_X: return L::ambisonicX;
  case SF_CHANNEL_MAP_AMBISONIC_B_Y: return L::ambisonicY;
  case SF_CHANNEL_MAP_AMBISONIC_B_Z: return L::ambisonicZ;
  default: return L::unknown;
  }
}

// The container code for a libsndfile major format; 0 for containers this reader refuses.
// `header` holds the file's first 12 bytes.
uint32_t fileTypeFor(int majorFormat, int subtype, const std::array<char, 12>& header) {
  switch (majorFormat) {
  case SF_FORMAT_WAV:
  case SF_FORMAT_WAVEX: return AudioFileTypeID::wave;
  case SF_FORMAT_RF64: return std::memcmp(header.data(), "BW64", 4) == 0 ? AudioFileTypeID::bw64 : AudioFileTypeID::rf64;
  case SF_FORMAT_W64: return AudioFileTypeID::wave64;
  case SF_FORMAT_AIFF: return std::memcmp(header.data() + 8, "AIFC", 4) == 0 ? AudioFileTypeID::aifc : AudioFileTypeID::aiff;
  case SF_FORMAT_CAF: return AudioFileTypeID::caf;
  case SF_FORMAT_FLAC: return AudioFileTypeID::flac;
  case SF_FORMAT_AU: return AudioFileTypeID::next;
  case SF_FORMAT_MPEG:
    return subtype == SF_FORMAT_MPEG_LAYER_I    ? AudioFileTypeID::mp1
           : subtype == SF_FORMAT_MPEG_LAYER_II ? AudioFileTypeID::mp2
                                                : AudioFileTypeID::mp3;
  default: return 0;
  }
}

// Fills the codec fields of `format` for a libsndfile subtype; false for subtypes this
// reader does not describe.
bool describeSubtype(int majorFormat, int subtype, StreamDescription& format, std::optional<int32_t>& sourceBits) {
  using F = AudioFormatFlags;
  const bool bigEndian = majorFormat == SF_FORMAT_AIFF || majorFormat == SF_FORMAT_CAF || majorFormat == SF_FORMAT_AU;
  auto pcm = [&](uint32_t bits, uint32_t flags) {
    format.formatID = AudioFormatID::linearPCM;
    format.formatFlags = flags | F::isPacked | (bigEndian && bits > 8 ? F::isBigEndian : 0);
    format.bitsPerChannel = bits;
    format.bytesPerFrame = bits / 8 * format.channelsPerFrame;
    format.bytesPerPacket = format.bytesPerFrame;
    format.framesPerPacket = 1;
  };
  auto compressed = [&](uint32_t formatID, uint32_t flags) {
    format.formatID = formatID;
    format.formatFlags = flags;
  };
  const bool flac = majorFormat == SF_FORMAT_FLAC;
  switch (subtype) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
    if (flac) {
      compressed(AudioFormatID::flac, 0);
      sourceBits = 8;
    } else {
      pcm(8, subtype == SF_FORMAT_PCM_S8 ? F::isSignedInteger : 0);
    }
    return true;
  case SF_FORMAT_PCM_16:
  case SF_FORMAT_PCM_24:
  case SF_FORMAT_PCM_32: {
    const int bits = subtype == SF_FORMAT_PCM_16 ? 16 : subtype == SF_FORMAT_PCM_24 ? 24 : 32;
    if (flac)
      compressed(AudioFormatID::flac, F::sourceDepthCode(bits));
    else
      pcm(static_cast<uint32_t>(bits), F::isSignedInteger);
    return true;
  }
  case SF_FORMAT_FLOAT: pcm(32, F::isFloat); return true;
  case SF_FORMAT_DOUBLE: pcm(64, F::isFloat); return true;
  case SF_FORMAT_ULAW: compressed(AudioFormatID::uLaw, 0); return true;
  case SF_FORMAT_ALAW: compressed(AudioFormatID::aLaw, 0); return true;
  case SF_FORMAT_IMA_ADPCM:
    compressed(majorFormat == SF_FORMAT_WAV || majorFormat == SF_FORMAT_WAVEX ? AudioFormatID::microsoftIMA
                                                                              : AudioFormatID::appleIMA4,
               0);
    return true;
  case SF_FORMAT_MS_ADPCM: compressed(AudioFormatID::microsoftADPCM, 0); return true;
  case SF_FORMAT_GSM610: compressed(AudioFormatID::microsoftGSM, 0); return true;
  case SF_FORMAT_ALAC_16: compressed(AudioFormatID::appleLossless, 1); return true;
  case SF_FORMAT_ALAC_20: compressed(AudioFormatID::appleLossless, 2); return true;
  case SF_FORMAT_ALAC_24: compressed(AudioFormatID::appleLossless, 3); return true;
  case SF_FORMAT_ALAC_32: compressed(AudioFormatID::appleLossless, 4); return true;
  case SF_FORMAT_MPEG_LAYER_I: compressed(AudioFormatID::mpegLayer1, 0); return true;
  case SF_FORMAT_MPEG_LAYER_II: compressed(AudioFormatID::mpegLayer2, 0); return true;
  case SF_FORMAT_MPEG_LAYER_III: compressed(AudioFormatID::mpegLayer3, 0); return true;
  default: return false;
  }
}

// The sample rate an AIFF or AIFC file states in its COMM chunk (an 80-bit extended float, which
// libsndfile turns into an integer, 0 into 1 and NaN into a large value); none without one.
std::optional<double> aiffSampleRate(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::nullopt;
  const auto bigEndian = [](const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
  };
  for (off_t offset = 12; offset + 8 <= status.st_size;) {
    unsigned char chunk[8 + 18];
    const ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
    if (got < 8) return std::nullopt;
    const uint64_t size = bigEndian(chunk + 4, 4);
    if (std::memcmp(chunk, "COMM", 4) == 0) {
      if (size < 18 || got < static_cast<ssize_t>(sizeof chunk)) return std::nullopt;
      const unsigned char* rate = chunk + 8 + 8;
      const auto exponent = static_cast<int>(bigEndian(rate, 2) & 0x7FFF);
      const uint64_t mantissa = bigEndian(rate + 2, 8);
      const double sign = (rate[0] & 0x80) != 0 ? -1 : 1;
      if (exponent == 0x7FFF)
        return mantissa << 1 == 0 ? sign * std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::quiet_NaN();
      return sign * std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    }
    offset += 8 + static_cast<off_t>(size + (size & 1));
  }
  return std::nullopt;
}

// Copies `frames` interleaved frames into the planar buffers, from index `offset` on.
void deinterleave(const float* interleaved, size_t channelCount, sf_count_t frames, float* const* channels,
                  int64_t offset) {
  for (size_t c = 0; c < channelCount; ++c) {
    float* destination = channels[c] + offset;
    const float* source = interleaved + c;
    for (sf_count_t f = 0; f < frames; ++f) destination[f] = source[static_cast<size_t>(f) * channelCount];
  }
}

// libsndfile's view of a file read with pread at a position of its own, so that several handles
// can read one descriptor at once.
struct PositionedStream {
  int fd;
  sf_count_t length;
  sf_count_t position = 0;

  static sf_count_t size(void* self) { return static_cast<PositionedStream*>(self)->length; }
  static sf_count_t seek(sf_count_t offset, int whence, void* self) {
    auto& stream = *static_cast<PositionedStream*>(self);
    const sf_count_t base = whence == SEEK_CUR ? stream.position : whence == SEEK_END ? stream.length : 0;
    if (base + offset < 0) return -1;
    stream.position = base + offset;
    return stream.position;
  }
  static sf_count_t read(void* destination, sf_count_t count, void* self) {
    auto& stream = *static_cast<PositionedStream*>(self);
    sf_count_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(stream.fd, static_cast<char*>(destination) + done, static_cast<size_t>(count - done),
                                stream.position + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    stream.position += done;
    return done;
  }
  static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t tell(void* self) { return static_cast<PositionedStream*>(self)->position; }
};

} // namespace

std::unique_ptr<SndfileReader> SndfileReader::open(int fd, int32_t& status) {
  std::array<char, 12> header{};
  if (::pread(fd, header.data(), header.size(), 0) < 0) {
    status = AudioStatus::fromErrno(errno);
    return nullptr;
  }
  const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) {
    status = AudioStatus::fromErrno(errno);
    return nullptr;
  }
  SF_INFO info{};
  // libsndfile closes the duplicate on failure and in sf_close.
  SNDFILE* file = sf_open_fd(duplicate, SFM_READ, &info, SF_TRUE);
  if (!file) {
    status = AudioStatus::fromSndfileError(sf_error(nullptr));
    return nullptr;
  }
  std::unique_ptr<SndfileReader> reader(new SndfileReader(file));

  const int majorFormat = info.format & SF_FORMAT_TYPEMASK;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  reader->fileType_ = fileTypeFor(majorFormat, subtype, header);
  if (reader->fileType_ == 0) {
    status = AudioStatus::unrecognizedFormat;
    return nullptr;
  }
  if (info.channels < 1 || static_cast<uint32_t>(info.channels) > maxChannels) {
    status = AudioStatus::unsupportedFormat;
    return nullptr;
  }
  StreamDescription& format = reader->fileFormat_;
  format.sampleRate = info.samplerate;
  if (majorFormat == SF_FORMAT_AIFF)
    if (const auto stated = aiffSampleRate(fd); stated && !isPlausibleSampleRate(*stated)) format.sampleRate = *stated;
  format.channelsPerFrame = static_cast<uint32_t>(info.channels);
  if (!describeSubtype(majorFormat, subtype, format, reader->sourceBitDepth_)) {
    status = AudioStatus::unsupportedFormat;
    return nullptr;
  }
  // libsndfile reports SF_COUNT_MAX when the length is unknown.
  reader->lengthFrames_ = info.frames > 0 && info.frames < SF_COUNT_MAX ? info.frames : 0;
  // A FLAC header can state fewer frames than the stream holds, and libsndfile reads no further
  // than it says: the last frame tells the length then, and a read that stops short of it fails.
  struct stat fileStatus {};
  const bool statted = ::fstat(fd, &fileStatus) == 0;
  if (majorFormat == SF_FORMAT_FLAC && statted && reader->lengthFrames_ > 0)
    if (const auto stream = FlacStreamLength::measure(fd, fileStatus.st_size); stream && stream->frames > reader->lengthFrames_)
      reader->lengthFrames_ = reader->streamFrames_ = stream->frames;

  std::vector<int> map(format.channelsPerFrame);
  if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
    std::vector<uint32_t> labels;
    for (int channel : map) labels.push_back(labelForSndfileChannel(channel));
    reader->fileLayout_ = AudioChannelLayout::withLabels(std::move(labels));
  }
  reader->interleaved_.resize(static_cast<size_t>(blockFrames) * format.channelsPerFrame);
  if (format.formatID == AudioFormatID::linearPCM && statted) {
    reader->positionedFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    reader->fileBytes_ = fileStatus.st_size;
  }
  status = AudioStatus::ok;
  return reader;
}

SndfileReader::~SndfileReader() {
  sf_close(file_);
  if (positionedFd_ >= 0) ::close(positionedFd_);
}

int32_t SndfileReader::readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) {
  const auto channelCount = static_cast<size_t>(fileFormat_.channelsPerFrame);
  frames = 0;
  while (frames < maxFrames) {
    const sf_count_t wanted = std::min<int64_t>(blockFrames, maxFrames - frames);
    const sf_count_t got = sf_readf_float(file_, interleaved_.data(), wanted);
    if (got < 0) return AudioStatus::malformedData;
    deinterleave(interleaved_.data(), channelCount, got, channels, frames);
    frames += got;
    readFrames_ += got;
    if (got < wanted) {
      const int error = sf_error(file_);
      if (error != SF_ERR_NO_ERROR) return AudioStatus::fromSndfileError(error);
      return readFrames_ < streamFrames_ ? AudioStatus::malformedData : AudioStatus::ok;
    }
  }
  return AudioStatus::ok;
}

int32_t SndfileReader::readFileOrderAt(int64_t start, float* const* channels, int64_t frames) const {
  if (positionedFd_ < 0) return AudioStatus::unsupportedFormat;
  PositionedStream stream{positionedFd_, fileBytes_};
  SF_VIRTUAL_IO io{&PositionedStream::size, &PositionedStream::seek, &PositionedStream::read,
                   &PositionedStream::write, &PositionedStream::tell};
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open_virtual(&io, SFM_READ, &info, &stream), &sf_close);
  if (!file) return AudioStatus::fromSndfileError(sf_error(nullptr));
  if (sf_seek(file.get(), start, SEEK_SET) != start) return AudioStatus::malformedData;
  const auto channelCount = static_cast<size_t>(fileFormat_.channelsPerFrame);
  // Reused by every read on this thread.
  thread_local std::vector<float> interleaved;
  interleaved.resize(static_cast<size_t>(blockFrames) * channelCount);
  for (int64_t done = 0; done < frames;) {
    const sf_count_t wanted = std::min<int64_t>(blockFrames, frames - done);
    if (sf_readf_float(file.get(), interleaved.data(), wanted) != wanted) {
      const int error = sf_error(file.get());
      return error == SF_ERR_NO_ERROR ? AudioStatus::malformedData : AudioStatus::fromSndfileError(error);
    }
    deinterleave(interleaved.data(), channelCount, wanted, channels, done);
    done += wanted;
  }
  return AudioStatus::ok;
}

} // namespace quar
