#include "io/SplitDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <numeric>
#include <span>
#include <thread>
#include <vector>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/CoreAudioFileReader.h"
#include "io/platform/CoreAudioSupport.h"
#include "io/platform/FlacPieceDecoder.h"
#include "io/platform/FlacStreamLength.h"
#include "io/platform/MpegFrameDecoder.h"
#include "io/platform/MpegFrameIndex.h"

namespace quar {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point began) { return std::chrono::duration<double>(Clock::now() - began).count(); }

// A descriptor of a file opened for reading, closed on destruction.
class ReadableFile {
public:
  explicit ReadableFile(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat status {};
    if (fd_ >= 0 && ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) bytes_ = status.st_size;
  }
  ~ReadableFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  bool isOpen() const { return fd_ >= 0 && bytes_ >= 0; }
  int fd() const { return fd_; }
  int64_t bytes() const { return bytes_; }

  // The whole file; false when it cannot be read.
  bool readAll(std::vector<uint8_t>& into) const {
    into.resize(static_cast<size_t>(bytes_));
    for (int64_t done = 0; done < bytes_;) {
      const ssize_t n = ::pread(fd_, into.data() + done, static_cast<size_t>(bytes_ - done), done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += n;
    }
    return true;
  }

private:
  int fd_;
  int64_t bytes_ = -1;
};

} // namespace

// Writes one piece's samples straight into rooms, one per block, and finishes each once it is
// full. It never throws, because libFLAC calls it: a failure of the handler, or a cancellation,
// makes the appends return false and is raised by the decode once the piece's decoder has
// returned.
class SplitDecoder::Sink {
public:
  Sink(size_t channels, int64_t start, int64_t frames, int64_t blockFrames, const DecodeRoomHandler& onRoom,
       const std::atomic<bool>& cancelled)
      : channels_(channels), start_(start), frames_(frames), blockFrames_(blockFrames), onRoom_(onRoom),
        cancelled_(cancelled) {}

  int64_t frames() const { return frames_; }
  int64_t filled() const { return filled_; }
  double joinSeconds() const { return joinSeconds_; }
  // The handler's failure, to be rethrown on the decoding thread.
  const std::exception_ptr& error() const { return error_; }

  // Appends `frames` interleaved frames.
  bool appendInterleaved(const float* samples, int64_t frames) {
    return append(frames, [&](size_t c, float* to, int64_t from, int64_t n) {
      const float* source = samples + static_cast<size_t>(from) * channels_ + c;
      for (int64_t f = 0; f < n; ++f) to[f] = source[static_cast<size_t>(f) * channels_];
    });
  }
  // Appends `frames` frames of integers (one array per channel), each multiplied by `scale`.
  bool appendScaled(const int32_t* const* samples, int64_t frames, float scale) {
    return append(frames, [&](size_t c, float* to, int64_t from, int64_t n) {
      const int32_t* source = samples[c] + from;
      for (int64_t f = 0; f < n; ++f) to[f] = static_cast<float>(source[f]) * scale;
    });
  }

private:
  template <typename Copy>
  bool append(int64_t frames, const Copy& copy) {
    if (cancelled_.load(std::memory_order_relaxed) || error_) return false;
    const Clock::time_point began = Clock::now();
    try {
      for (int64_t done = 0; done < frames && filled_ < frames_;) {
        if (!room_) {
          roomFrames_ = std::min(blockFrames_ - filled_ % blockFrames_, frames_ - filled_);
          room_ = onRoom_(static_cast<int>(channels_), start_ + filled_, roomFrames_);
          roomFilled_ = 0;
        }
        const int64_t n = std::min(frames - done, roomFrames_ - roomFilled_);
        const std::span<float* const> channels = room_->channels();
        for (size_t c = 0; c < channels_; ++c) copy(c, channels[c] + roomFilled_, done, n);
        done += n;
        roomFilled_ += n;
        filled_ += n;
        if (roomFilled_ == roomFrames_) {
          room_->finish(roomFrames_);
          room_.reset();
        }
      }
    } catch (...) {
      error_ = std::current_exception();
    }
    joinSeconds_ += secondsSince(began);
    return !error_;
  }

  const size_t channels_;
  const int64_t start_;
  const int64_t frames_;
  const int64_t blockFrames_;
  const DecodeRoomHandler& onRoom_;
  const std::atomic<bool>& cancelled_;
  std::unique_ptr<BlockRoom> room_;
  int64_t roomFrames_ = 0;
  int64_t roomFilled_ = 0;
  int64_t filled_ = 0;
  double joinSeconds_ = 0;
  std::exception_ptr error_;
};

namespace {

// FLAC: every piece seeks to its first frame; libFLAC hands on the samples from there.
class FlacSplitDecoder final : public SplitDecoder {
public:
  FlacSplitDecoder(const CoreAudioFileReader& reader, std::unique_ptr<ReadableFile> file)
      : SplitDecoder(reader), file_(std::move(file)), channels_(reader.fileFormat().channelsPerFrame),
        frames_(reader.lengthFrames()) {
    // Where the header states fewer frames than the stream holds, the reader gives the true
    // length, which libFLAC is to see too.
    if (auto stream = FlacStreamLength::measure(file_->fd(), file_->bytes()); stream && stream->frames == frames_)
      stream_ = stream;
  }

private:
  int64_t frameCount() const override { return frames_; }

  int32_t decodePiece(int64_t start, Sink& sink, double& readSeconds) const override {
    return FlacPieceDecoder::decode(
        file_->fd(), file_->bytes(), start, sink.frames(), stream_,
        [&](const int32_t* const* channels, int channelCount, int64_t frames, int bits) {
          if (static_cast<size_t>(channelCount) != channels_ || bits < 1 || bits > 32) return false;
          return sink.appendScaled(channels, frames, std::ldexp(1.0f, 1 - bits));
        },
        readSeconds);
  }

  std::unique_ptr<ReadableFile> file_;
  size_t channels_;
  int64_t frames_;
  std::optional<FlacStreamLength> stream_;
};

// MPEG audio: the file is read once; output frame i is frame i + skip of the frames decoded
// without trimming. A piece starts decoding early enough for the bit reservoir (up to 511
// bytes of audio data of the frames before) and the overlap of the hybrid filter bank (one
// frame), and on a frame whose synthesis window position matches the whole-file decode's.
class MpegSplitDecoder final : public SplitDecoder {
public:
  MpegSplitDecoder(const CoreAudioFileReader& reader, std::vector<uint8_t> bytes, MpegFrameIndex index, int64_t skip,
                   int64_t frames, double readSeconds)
      : SplitDecoder(reader), bytes_(std::move(bytes)), index_(std::move(index)), skip_(skip), frames_(frames),
        readSeconds_(readSeconds) {
    // The synthesis filter bank cycles through 16 positions, one per 32 samples.
    const auto slots = static_cast<int64_t>(index_.samplesPerFrame / 32);
    alignment_ = 16 / std::gcd(slots, int64_t{16});
  }

private:
  int64_t frameCount() const override { return frames_; }
  double upfrontReadSeconds() const override { return readSeconds_; }

  // The first frame to decode so that frame `first` and all after it come out exactly.
  int64_t prerollStart(int64_t first) const {
    if (first == 0) return 0;
    int64_t start = first - 1;  // decoded exactly, for the overlap it leaves
    if (index_.layer == 3) {
      int64_t reservoir = 0;
      while (start > 0 && reservoir < 2 * 511) {
        --start;
        reservoir += index_.offsets[static_cast<size_t>(start) + 1] - index_.offsets[static_cast<size_t>(start)] -
                     index_.headerBytes;
      }
    }
    start = std::max<int64_t>(start - 2, 0);
    return start - start % alignment_;
  }

  int32_t decodePiece(int64_t start, Sink& sink, double&) const override {
    const int64_t spf = index_.samplesPerFrame;
    const int64_t rawStart = start + skip_;
    const int64_t rawEnd = rawStart + sink.frames();
    const int64_t first = rawStart / spf;
    const int64_t last = (rawEnd + spf - 1) / spf;  // exclusive
    const int64_t from = prerollStart(first);
    // One frame more than needed: libmpg123 holds a lone first frame back until it sees the next.
    const int64_t to = std::min(last + 1, index_.frameCount());
    const auto begin = index_.offsets[static_cast<size_t>(from)];
    const std::span<const uint8_t> frames(bytes_.data() + begin,
                                          static_cast<size_t>(index_.offsets[static_cast<size_t>(to)] - begin));
    MpegFrameDecoder decoder(index_.sampleRate, index_.channels, spf);
    return decoder.decode(frames, to - from, [&](int64_t index, const float* interleaved) {
      const int64_t frame = from + index;
      if (frame < first) return true;
      if (frame >= last) return false;
      const int64_t low = std::max(frame * spf, rawStart);
      const int64_t high = std::min((frame + 1) * spf, rawEnd);
      return sink.appendInterleaved(interleaved + static_cast<size_t>(low - frame * spf) * index_.channels, high - low);
    });
  }

  std::vector<uint8_t> bytes_;
  MpegFrameIndex index_;
  int64_t skip_;
  int64_t frames_;
  double readSeconds_;
  int64_t alignment_ = 1;
};

std::unique_ptr<SplitDecoder> openMpeg(const CoreAudioFileReader& reader, const StreamDescription& format) {
  const Clock::time_point began = Clock::now();
  const ReadableFile file(reader.url());
  std::vector<uint8_t> bytes;
  if (!file.isOpen() || !file.readAll(bytes)) return nullptr;
  const double readSeconds = secondsSince(began);
  auto index = MpegFrameIndex::scan(bytes);
  const int layer = format.formatID == AudioFormatID::mpegLayer1 ? 1 : format.formatID == AudioFormatID::mpegLayer2 ? 2 : 3;
  if (!index || index->layer != layer || index->sampleRate != format.sampleRate ||
      static_cast<uint32_t>(index->channels) != format.channelsPerFrame || index->frameCount() < 2)
    return nullptr;
  // What libmpg123's gapless decode trims: the encoder delay and its own delay at the start, the
  // padding less its own delay at the end.
  const int64_t spf = index->samplesPerFrame;
  const int64_t raw = index->frameCount() * spf;
  int64_t skip = 0, end = raw;
  if (index->infoFrameOffset) {
    const auto head = std::span<const uint8_t>(bytes).first(static_cast<size_t>(index->offsets[2]));
    const MpegFrameDecoder::Gapless gapless = MpegFrameDecoder::gapless(head);
    if (gapless.encoderDelay >= 0 && gapless.padding >= 0) {
      if (gapless.frames != index->frameCount()) return nullptr;
      skip = gapless.encoderDelay + MpegFrameDecoder::decoderDelay;
      end = std::min(gapless.frames * spf - gapless.padding + MpegFrameDecoder::decoderDelay, raw);
      if (end - skip != reader.lengthFrames()) return nullptr;
    }
  }
  if (end - skip < 1) return nullptr;
  return std::make_unique<MpegSplitDecoder>(reader, std::move(bytes), std::move(*index), skip, end - skip, readSeconds);
}

} // namespace

std::unique_ptr<SplitDecoder> SplitDecoder::open(const CoreAudioFileReader& reader) {
  const StreamDescription& format = reader.fileFormat();
  if (format.channelsPerFrame < 1 || format.channelsPerFrame > 2) return nullptr;
  if (format.formatID == AudioFormatID::flac && reader.fileType() == AudioFileTypeID::flac && reader.lengthFrames() > 0) {
    auto file = std::make_unique<ReadableFile>(reader.url());
    if (!file->isOpen()) return nullptr;
    return std::make_unique<FlacSplitDecoder>(reader, std::move(file));
  }
  if (format.formatID == AudioFormatID::mpegLayer1 || format.formatID == AudioFormatID::mpegLayer2 ||
      format.formatID == AudioFormatID::mpegLayer3)
    return openMpeg(reader, format);
  return nullptr;
}

AudioFileInfo SplitDecoder::decode(const DecodeProgress& progress, const DecodeFormatHandler& onFormat,
                                   const DecodeRoomHandler& onRoom, int64_t blockFrames, DecodeStages* stages) {
  QUAR_PRECONDITION(blockFrames >= 1, "Blocks need at least one frame");
  const int64_t total = frameCount();
  const auto channels = static_cast<size_t>(reader_.fileFormat().channelsPerFrame);
  const AudioFileInfo info = reader_.info(total);
  onFormat(info);

  const int64_t pieceFrames = blockFrames * pieceBlocks;
  const int64_t pieces = (total + pieceFrames - 1) / pieceFrames;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> cancelled{false};
  std::atomic<int64_t> finished{0};
  std::mutex mutex;
  DecodeStages spent{upfrontReadSeconds(), 0, 0, pieces};
  parallelFor(pieces, true, [&](int64_t index) {
    const int64_t start = index * pieceFrames;
    Sink sink(channels, start, std::min(pieceFrames, total - start), blockFrames, onRoom, cancelled);
    double readSeconds = 0;
    const Clock::time_point began = Clock::now();
    const int32_t status = decodePiece(start, sink, readSeconds);
    const double seconds = secondsSince(began);
    if (sink.error()) std::rethrow_exception(sink.error());
    if (cancelled) throw QuarError::cancelled();
    // A piece that comes out short is a damaged or cut file, which the decode in order fails on too.
    if (status != AudioStatus::ok || sink.filled() != sink.frames())
      throw CoreAudioReadFailure("Native decode error (" +
                                 FourCC::status(status != AudioStatus::ok ? status : AudioStatus::malformedData) +
                                 ") at frame " + std::to_string(start + sink.filled()));
    {
      const std::lock_guard lock(mutex);
      spent.readSeconds += readSeconds;
      spent.joinSeconds += sink.joinSeconds();
      spent.decodeSeconds += seconds - readSeconds - sink.joinSeconds();
    }
    const int64_t done = finished.fetch_add(1) + 1;
    // After the last piece the decode is finished: a cancel then has nothing left to stop.
    if (progress && std::this_thread::get_id() == caller &&
        !progress(static_cast<double>(done) / static_cast<double>(pieces)) && done < pieces) {
      cancelled = true;
      throw QuarError::cancelled();
    }
  });
  if (progress) progress(1.0);
  if (stages) *stages = spent;
  return info;
}

} // namespace quar
