#include "io/AudioEncoder.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "base/Uuid.h"
#include "io/ExportCodec.h"
#include "io/MP3Writer.h"
#include "io/OggOpusWriter.h"
#include "io/ReplacementFile.h"
#include "io/platform/CodecServices.h"
#include "io/platform/CoreAudioFileWriter.h"
#include "io/platform/CoreAudioSupport.h"

namespace quar {

namespace {

namespace fs = std::filesystem;

// Bytes of one sample in a PCM file.
int64_t bytesPerSample(PCMBitDepth depth) { return depth == PCMBitDepth::int16 ? 2 : depth == PCMBitDepth::int24 ? 3 : 4; }

// The FLAC and Apple Lossless quantiser width and source-depth flag; float exports as 24-bit.
int losslessBits(PCMBitDepth depth) { return depth == PCMBitDepth::int16 ? 16 : depth == PCMBitDepth::int32 ? 32 : 24; }

StreamDescription linearPCM(const EncodePlan& plan) {
  const int sampleBits = bits(plan.settings.bitDepth);
  StreamDescription format;
  format.sampleRate = plan.outputRate;
  format.formatID = AudioFormatID::linearPCM;
  format.formatFlags = (isFloat(plan.settings.bitDepth) ? AudioFormatFlags::isFloat : AudioFormatFlags::isSignedInteger) |
                       AudioFormatFlags::isPacked |
                       (exportCodec(plan.settings.format).bigEndian ? AudioFormatFlags::isBigEndian : 0);
  format.bitsPerChannel = static_cast<uint32_t>(sampleBits);
  format.bytesPerFrame = static_cast<uint32_t>(sampleBits / 8 * plan.outputChannels);
  format.bytesPerPacket = format.bytesPerFrame;
  format.framesPerPacket = 1;
  format.channelsPerFrame = static_cast<uint32_t>(plan.outputChannels);
  return format;
}

// The file a path names after following symbolic links (also a dangling link's target).
fs::path resolvedTarget(const fs::path& url) {
  fs::path path = url;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) break;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

} // namespace

EncodePlan::EncodePlan(const AudioSource& source, std::optional<FrameRange> requestedRange,
                       const EncodeSettings& requestedSettings)
    : settings(requestedSettings.normalized()) {
  if (source.channelCount() < 1 || !(source.sampleRate() > 0))
    throw QuarError::encodeFailed("the source has no audio");
  range = requestedRange.value_or(source.fullRange());
  if (range.lowerBound < 0 || range.upperBound > source.frameCount())
    throw QuarError::encodeFailed("range " + std::to_string(range.lowerBound) + "..<" + std::to_string(range.upperBound) +
                                  " is outside the audio (0..<" + std::to_string(source.frameCount()) + ")");
  if (range.isEmpty()) throw QuarError::encodeFailed("there\u2019s no audio to export (the range is empty)");
  sourceRate = source.sampleRate();
  sourceChannels = source.channelCount();
  outputChannels = std::min(sourceChannels, maxChannels(settings.format));
  outputRate = resolveRate(settings.format, settings.sampleRate.value_or(sourceRate));
  if (outputRate != sourceRate && !isSupportedRateConversion(sourceRate, outputRate))
    throw QuarError::unsupportedFormat(rateConversionText(sourceRate, outputRate));
  outputFrames = outputRate == sourceRate
                     ? range.count()
                     : roundedInt(outputRate * static_cast<double>(range.count()) / sourceRate);
  if (outputFrames < 1)
    throw QuarError::encodeFailed("there\u2019s no audio to export (the range is shorter than one frame at " +
                                  formatDouble(outputRate) + " Hz)");
}

double EncodePlan::resolveRate(ExportFormat format, double requested) {
  if (!(requested > 0)) return defaultOutputRate;
  auto allowed = supportedSampleRates(format);
  if (const ExportCodec& codec = exportCodec(format); codec.encoderNarrowsRates) {
    if (const auto encoderRates = CodecCapabilities::encodeSampleRates(codec.formatID)) {
      std::vector<double> kept;
      for (double rate : allowed.value_or(*encoderRates))
        if (std::find(encoderRates->begin(), encoderRates->end(), rate) != encoderRates->end()) kept.push_back(rate);
      if (!kept.empty()) allowed = std::move(kept);
    }
  }
  if (!allowed || allowed->empty()) return requested;
  return CodecCapabilities::nearest(requested, *allowed);
}

uint32_t EncodePlan::pcmFileType() const {
  const ExportCodec& codec = exportCodec(settings.format);
  if (!codec.largeFileType) return codec.fileType;
  // Compared in double: a long export's byte count may pass int64.
  const double dataBytes = static_cast<double>(outputChannels) * static_cast<double>(outputFrames) *
                           static_cast<double>(bytesPerSample(settings.bitDepth));
  return dataBytes > static_cast<double>(wavDataLimit) ? *codec.largeFileType : codec.fileType;
}

std::unique_ptr<ChunkSink> EncodePlan::makeWriter(const fs::path& url, const LameLibrary* lame) const {
  const ExportCodec& codec = exportCodec(settings.format);
  const PCMBitDepth depth = settings.bitDepth;
  const bool dither = settings.dither == DitherMode::tpdf;
  CoreAudioFileWriter::Configuration configuration;
  switch (codec.writer) {
  case ExportCodec::Writer::pcmFile:
    configuration.fileType = pcmFileType();
    configuration.format = linearPCM(*this);
    configuration.bits = isFloat(depth) ? 0 : bits(depth);
    configuration.floatClient = isFloat(depth);
    configuration.dither = dither;
    break;
  case ExportCodec::Writer::codecFile:
    configuration.fileType = codec.fileType;
    if (isLossy(settings.format)) {
      configuration.format = StreamFormats::compressed(codec.formatID, outputRate, outputChannels, 0);
      configuration.floatClient = true;
      configuration.bitRate = settings.bitRateKbps * 1000;
    } else {
      const int sampleBits = losslessBits(depth);
      configuration.format = StreamFormats::compressed(codec.formatID, outputRate, outputChannels,
                                                       AudioFormatFlags::sourceDepthCode(sampleBits));
      configuration.bits = sampleBits;
      configuration.dither = dither;
    }
    break;
  case ExportCodec::Writer::mp3:
    if (!lame) throw QuarError::codecUnavailable("MP3 export needs the LAME library (libmp3lame)");
    return std::make_unique<MP3Writer>(url, *lame, outputRate, outputChannels,
                                       static_cast<int>(clamped<int64_t>(settings.bitRateKbps, 0, INT32_MAX)));
  case ExportCodec::Writer::oggOpus:
    return std::make_unique<OggOpusWriter>(url, outputChannels, settings.bitRateKbps * 1000);
  }
  configuration.layoutTag = codec.layoutTag(outputChannels);
  return std::make_unique<CoreAudioFileWriter>(url, configuration);
}

std::unique_ptr<ChunkSink> EncodePlan::makeChain(std::unique_ptr<ChunkSink> writer) const {
  std::unique_ptr<ChunkSink> head = std::move(writer);
  if (outputRate != sourceRate) {
    head = std::make_unique<LengthEnforcer>(outputFrames, outputChannels, std::move(head));
    head = std::make_unique<Resampler>(sourceRate, outputRate, outputChannels, chunkSize, std::move(head));
  }
  if (outputChannels != sourceChannels)
    head = std::make_unique<ChannelMixer>(ChannelLayouts::downmixMatrix(sourceChannels, outputChannels),
                                          std::move(head));
  return head;
}

fs::path AudioEncoder::temporaryURL(const fs::path& destination, ExportFormat format) {
  const std::string uuid = Uuid::random().uuidString();
  std::string extension = destination.extension().string();
  if (extension.size() > 1) extension.erase(0, 1);
  else extension = fileExtension(format);
  // The name's fixed parts: "." + "-" + uuid + ".tmp." + extension.
  const auto fixedBytes = [&] { return 7 + uuid.size() + extension.size(); };
  if (fixedBytes() > maxFileNameBytes) extension = fileExtension(format);
  // The stem is cut to fit, never inside a UTF-8 sequence.
  std::string stem = destination.stem().string();
  if (stem.size() + fixedBytes() > maxFileNameBytes) {
    size_t keep = maxFileNameBytes - fixedBytes();
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
    stem.resize(keep);
  }
  return destination.parent_path() / ("." + stem + "-" + uuid + ".tmp." + extension);
}

EncodeReport AudioEncoder::write(const AudioSource& source, std::optional<FrameRange> range, const fs::path& url,
                                 const EncodeSettings& settings, const EncodeProgress& progress) {
  const EncodePlan plan(source, range, settings);
  const fs::path target = resolvedTarget(url);
  std::error_code error;
  if (fs::is_directory(target, error))
    throw QuarError::encodeFailed(curlyQuoted(target.filename().string()) + " is a folder");
  ReplacementFile replacement(target, temporaryURL(target, plan.settings.format));

  std::unique_ptr<ChunkSink> writer = plan.makeWriter(replacement.writePath());
  const ChunkSink& file = *writer;
  const std::unique_ptr<ChunkSink> head = plan.makeChain(std::move(writer));
  const double total = static_cast<double>(std::max<int64_t>(plan.range.count(), 1));
  try {
    source.forEachChunk(plan.range, EncodePlan::chunkSize, [&](ChannelViews chunk, int64_t firstFrame) {
      head->consume(chunk);
      if (!progress) return;
      const auto frames = chunk.empty() ? 0 : static_cast<int64_t>(chunk.front().size());
      const double done = static_cast<double>(firstFrame + frames - plan.range.lowerBound);
      if (!progress(std::min(done / total, 1.0))) throw QuarError::cancelled();
    });
    head->finish();
  } catch (...) {
    head->abort();
    throw;
  }
  replacement.commit();
  if (progress) progress(1.0);
  return {file.clippedSamples()};
}

bool AudioEncoder::isAvailable(ExportFormat format) {
  const ExportCodec& codec = exportCodec(format);
  switch (codec.writer) {
  case ExportCodec::Writer::pcmFile: return true;
  case ExportCodec::Writer::mp3: return LameLibrary::shared() != nullptr;
  case ExportCodec::Writer::codecFile:
  case ExportCodec::Writer::oggOpus: return CodecServices::hasEncoder(codec.formatID);
  }
  return false;
}

double AudioEncoder::outputSampleRate(ExportFormat format, double requested) {
  return EncodePlan::resolveRate(format, requested);
}

std::optional<std::string> AudioEncoder::lameVersion() {
  const LameLibrary* library = LameLibrary::shared();
  if (!library) return std::nullopt;
  return library->versionString();
}

} // namespace quar
