#include "io/AudioDecoder.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <system_error>
#include <unistd.h>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "io/FFmpegDecoder.h"
#include "io/SplitDecoder.h"
#include "io/platform/CoreAudioFileReader.h"
#include "io/platform/NativeReader.h"

namespace quar {

namespace {

constexpr int64_t extraReservedFrames = 4096;

QuarError unreadableFile() { return QuarError::decodeFailed("the file doesn\u2019t exist or can\u2019t be read"); }

bool isReadable(const std::filesystem::path& url) { return ::access(url.c_str(), R_OK) == 0; }

// Frames to reserve per channel: the declared length plus some slack, but no more than the
// file's size could hold at one bit per sample, so that a damaged header claiming a huge
// length cannot commit the memory. The arrays grow past the reservation when more arrives.
int64_t reservedFrames(const std::filesystem::path& url, const AudioFileInfo& info) {
  if (info.frameCount < -extraReservedFrames || info.channelCount < 1) return 0;
  std::error_code error;
  const auto size = std::filesystem::file_size(url, error);
  const auto bits = error ? 0 : std::min<uintmax_t>(size, std::numeric_limits<int64_t>::max() / 8) * 8;
  const int64_t plausible = static_cast<int64_t>(bits) / info.channelCount;
  return std::min(info.frameCount, plausible) + extraReservedFrames;
}

// Cuts a stream of chunks into blocks of a fixed length, copying each chunk into the rooms the
// handler gives out, and times that work.
class BlockCutter {
public:
  BlockCutter(int64_t blockFrames, const DecodeRoomHandler& onRoom) : blockFrames_(blockFrames), onRoom_(onRoom) {}

  // Seconds spent cutting and in the handler.
  double seconds() const { return seconds_; }

  // Starts again from frame 0 (a decode that starts over calls its format handler again).
  void start(int channels) {
    room_.reset();
    channels_ = channels;
    start_ = 0;
    filled_ = 0;
  }
  void append(ChannelViews chunk) {
    const auto began = std::chrono::steady_clock::now();
    const int64_t frames = chunk.empty() ? 0 : static_cast<int64_t>(chunk.front().size());
    for (int64_t offset = 0; offset < frames;) {
      if (!room_) room_ = onRoom_(channels_, start_, blockFrames_);
      const int64_t n = std::min(frames - offset, blockFrames_ - filled_);
      const std::span<float* const> channels = room_->channels();
      for (size_t c = 0; c < channels.size(); ++c) std::copy_n(chunk[c].data() + offset, n, channels[c] + filled_);
      offset += n;
      filled_ += n;
      if (filled_ == blockFrames_) handOn();
    }
    seconds_ += secondsSince(began);
  }
  // Hands on the frames of the last room, if any.
  void flush() {
    const auto began = std::chrono::steady_clock::now();
    handOn();
    seconds_ += secondsSince(began);
  }

private:
  static double secondsSince(std::chrono::steady_clock::time_point began) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  }

  void handOn() {
    if (!room_) return;
    room_->finish(filled_);
    room_.reset();
    start_ += filled_;
    filled_ = 0;
  }

  const int64_t blockFrames_;
  const DecodeRoomHandler& onRoom_;
  std::unique_ptr<BlockRoom> room_;
  int channels_ = 0;
  int64_t start_ = 0;
  int64_t filled_ = 0;  // frames in room_
  double seconds_ = 0;
};

} // namespace

AudioFileInfo AudioDecoder::decodeBlocks(const std::filesystem::path& url, const DecodeProgress& progress,
                                         const DecodeFormatHandler& onFormat, const DecodeRoomHandler& onRoom,
                                         int64_t blockFrames, DecodeStages* stages, const FFmpegTools& tools) {
  QUAR_PRECONDITION(blockFrames >= 1, "Blocks need at least one frame");
  if (!isReadable(url)) throw unreadableFile();
  FFmpegDecoder::requireRegularFile(url);
  try {
    CoreAudioFileReader reader(url);
    if (reader.canDecodeConcurrently())
      return reader.decodeConcurrently(progress, onFormat, onRoom, blockFrames, stages);
    if (const auto split = SplitDecoder::open(reader))
      return split->decode(progress, onFormat, onRoom, blockFrames, stages);
  } catch (const CoreAudioCannotDecode&) {
    // decode below tries the native reader again and then the FFmpeg tools.
  } catch (const CoreAudioReadFailure&) {
    // Damaged after the open: decode below starts again with a new format call and falls back
    // to the FFmpeg tools as it does for a damaged file read in order.
  }
  const auto began = std::chrono::steady_clock::now();
  BlockCutter cutter(blockFrames, onRoom);
  const AudioFileInfo info = decode(
      url, progress,
      [&](const AudioFileInfo& format) {
        cutter.start(format.channelCount);
        onFormat(format);
      },
      [&](ChannelViews chunk) { cutter.append(chunk); }, tools);
  cutter.flush();
  if (stages) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    *stages = {0, seconds - cutter.seconds(), cutter.seconds(), 0};
  }
  return info;
}

AudioFileInfo AudioDecoder::decode(const std::filesystem::path& url, const DecodeProgress& progress,
                                   const DecodeFormatHandler& onFormat, const DecodeChunkHandler& onChunk,
                                   const FFmpegTools& tools) {
  if (!isReadable(url)) throw unreadableFile();
  FFmpegDecoder::requireRegularFile(url);
  std::string nativeMessage;
  // Set when the native reader opened the file but failed reading it.
  std::optional<DecodeDamage> damage;
  try {
    CoreAudioFileReader reader(url);
    try {
      return reader.decode(progress, onFormat, onChunk);
    } catch (const CoreAudioCannotDecode& error) {
      if (!error.damaged) throw;
      nativeMessage = error.message;
      damage = DecodeDamage{reader.lengthFrames()};
    } catch (const CoreAudioReadFailure& error) {
      // Audio was delivered: the tools start again with a new format call, or the failure stands.
      if (!FFmpegDecoder::isAvailable(tools)) throw;
      nativeMessage = error.message();
      damage = DecodeDamage{reader.lengthFrames()};
    }
  } catch (const CoreAudioCannotDecode& error) {
    // Raised before any callback ran: the FFmpeg tools may start afresh.
    nativeMessage = error.message;
  }
  if (!FFmpegDecoder::isAvailable(tools))
    throw QuarError::unsupportedFormat(nativeMessage + "; install ffmpeg to open more formats");
  try {
    int64_t announcedFrames = 0;
    AudioFileInfo info = FFmpegDecoder::decode(
        url, progress,
        [&](const AudioFileInfo& format) {
          announcedFrames = format.frameCount;
          onFormat(format);
        },
        onChunk, tools);
    if (damage) {
      if (damage->declaredFrames < 1) damage->declaredFrames = announcedFrames;
      info.damage = damage;
    }
    return info;
  } catch (const QuarError& error) {
    if (error.kind() == QuarError::Kind::decodeFailed) throw QuarError::decodeFailed(nativeMessage + "; " + error.message());
    throw;
  }
}

AudioDecoder::Decoded AudioDecoder::decodeToArrays(const std::filesystem::path& url, const FFmpegTools& tools) {
  Decoded decoded;
  decoded.info = decode(
      url, nullptr,
      [&](const AudioFileInfo& info) {
        decoded.channels.assign(static_cast<size_t>(info.channelCount), {});
        const int64_t reservation = reservedFrames(url, info);
        for (auto& channel : decoded.channels) channel.reserve(static_cast<size_t>(reservation));
      },
      [&](ChannelViews chunk) {
        for (size_t c = 0; c < chunk.size(); ++c)
          decoded.channels[c].insert(decoded.channels[c].end(), chunk[c].begin(), chunk[c].end());
      },
      tools);
  return decoded;
}

AudioFileInfo AudioDecoder::probe(const std::filesystem::path& url, const FFmpegTools& tools) {
  if (!isReadable(url)) throw unreadableFile();
  FFmpegDecoder::requireRegularFile(url);
  try {
    const CoreAudioFileReader reader(url);
    return reader.info(reader.lengthFrames());
  } catch (const CoreAudioCannotDecode&) {
  }
  if (tools.ffprobe) return FFmpegDecoder::probe(url, tools).info;
  const std::string extension = url.extension().string();
  throw QuarError::unsupportedFormat(extension.size() > 1 ? extension.substr(1) : "unknown file type");
}

std::vector<std::string> AudioDecoder::fileExtensions(bool withFFmpeg) {
  std::set<std::string> extensions(coreAudioExtensions().begin(), coreAudioExtensions().end());
  if (withFFmpeg) extensions.insert(ffmpegExtensions.begin(), ffmpegExtensions.end());
  return {extensions.begin(), extensions.end()};
}

std::vector<std::string> AudioDecoder::readableFileExtensions(const FFmpegTools& tools) {
  return fileExtensions(FFmpegDecoder::isAvailable(tools));
}

const std::vector<std::string>& AudioDecoder::coreAudioExtensions() {
  static const std::vector<std::string> extensions = [] {
    std::vector<std::string> lowered = NativeReader::readableExtensions();
    for (auto& extension : lowered)
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
  }();
  return extensions;
}

} // namespace quar
