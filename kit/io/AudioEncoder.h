// AudioEncoder: the one entry point for writing audio to a file. It plans an export
// (EncodePlan: range, output rate, channels and length), streams the source through a chain of
// stages (mixer, resampler and length enforcer as needed) into the format's writer, writing a
// new file beside the destination (ReplacementFile) that then replaces it atomically. Stateless;
// every call runs on the caller's thread (never the audio thread).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/AudioFormats.h"
#include "base/AudioSource.h"
#include "io/EncodePipeline.h"
#include "io/LameLibrary.h"

namespace quar {

// Receives the fraction done ([0, 1]); returning false cancels.
using EncodeProgress = std::function<bool(double fraction)>;

struct EncodePlan {
  // Frames read from the source per chunk (and the resampler's largest chunk).
  static constexpr int64_t chunkSize = 32768;
  static constexpr double defaultOutputRate = 48000;  // Hz
  // WAV data above this many bytes is written as RF64.
  static constexpr int64_t wavDataLimit = 4'293'918'719;

  EncodeSettings settings;  // normalised
  FrameRange range;
  double sourceRate = 0;  // Hz
  int sourceChannels = 0;
  double outputRate = 0;  // Hz
  int outputChannels = 0;
  int64_t outputFrames = 0;

  // Throws QuarError::encodeFailed for a source without audio, a range outside the source, an
  // empty range or one that makes no output frame at the output rate, and
  // QuarError::unsupportedFormat for a rate change beyond isSupportedRateConversion.
  // `range` defaults to the source's full range.
  EncodePlan(const AudioSource& source, std::optional<FrameRange> range, const EncodeSettings& settings);

  // The format's writer, creating the file at `url`. MP3 needs `lame`; without it this throws
  // QuarError::codecUnavailable. Other failures are the writer's.
  std::unique_ptr<ChunkSink> makeWriter(const std::filesystem::path& url,
                                        const LameLibrary* lame = LameLibrary::shared()) const;
  // The chain ending in `writer`: a channel mixer when the channel count drops, then a
  // resampler and length enforcer when the rate changes. Returns the head.
  std::unique_ptr<ChunkSink> makeChain(std::unique_ptr<ChunkSink> writer) const;
  // The file type of a PCM export: 'AIFF', 'caff', or for WAV 'WAVE', 'RF64' above
  // wavDataLimit bytes of audio.
  uint32_t pcmFileType() const;

  // The rate (Hz) written for a requested rate: 48000 for a rate not above 0, else the
  // nearest rate the format (and for AAC its encoder) takes.
  static double resolveRate(ExportFormat format, double requested);
};

// What a completed export reports.
struct EncodeReport {
  // Samples beyond full scale that the format (integer samples, MP3) stored at full scale.
  int64_t clippedSamples = 0;
};

struct AudioEncoder {
  // Writes `range` (default: all) of `source` to `url`. On success exactly the destination
  // exists, and is on the disk with its folder; on failure it is untouched (unless only
  // writing its folder to the disk failed) and no temporary file is left, nor, where the file
  // system has unnamed files, when the process is killed. A symbolic link's target
  // is replaced, keeping its permission bits and, where the process may set them, its owner
  // and group. A destination that is a folder is refused before anything is encoded. Throws
  // QuarError (cancelled when `progress` answers false) or a stage's failure.
  static EncodeReport write(const AudioSource& source, std::optional<FrameRange> range, const std::filesystem::path& url,
                            const EncodeSettings& settings, const EncodeProgress& progress = {});
  // Whether this machine can encode the format.
  static bool isAvailable(ExportFormat format);
  // The sample rate `write` uses for a requested rate.
  static double outputSampleRate(ExportFormat format, double requested);
  // The loaded MP3 library's version text; none without a library.
  static std::optional<std::string> lameVersion();
  // The longest file name (bytes) the temporary file may have.
  static constexpr size_t maxFileNameBytes = 255;
  // The hidden name of the new file that replaces `destination` (ReplacementFile): "." + name
  // without extension + "-" + upper-case UUID + ".tmp." + the destination's extension (the
  // format's without one, or when it is too long to fit). The name is cut short so that the whole stays within
  // maxFileNameBytes.
  static std::filesystem::path temporaryURL(const std::filesystem::path& destination, ExportFormat format);
};

} // namespace quar
