#include "document/ContentCollector.h"

#include <cmath>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"

ContentCollector::Decoded ContentCollector::decode(const std::filesystem::path& path,
                                                   const quar::DecodeProgress& progress) {
  ContentCollector collector;
  quar::AudioFileInfo info = quar::AudioDecoder::decodeBlocks(
      path, progress, [&collector](const quar::AudioFileInfo& format) { collector.begin(format); },
      [&collector](std::vector<std::vector<float>>&& channels, int64_t start) {
        collector.add(std::move(channels), start);
      },
      quar::AudioBlock::preferredFrameCount);
  return {std::move(info), collector.finish()};
}

void ContentCollector::begin(const quar::AudioFileInfo& format) {
  assembler_.reset();
  if (format.channelCount >= 1 && std::isfinite(format.sampleRate) && format.sampleRate > 0)
    assembler_.emplace(format.channelCount, format.sampleRate);
}

void ContentCollector::add(std::vector<std::vector<float>>&& channels, int64_t start) {
  if (assembler_) assembler_->add(std::move(channels), start);
}

quar::AudioContent ContentCollector::finish() {
  if (!assembler_) throw quar::QuarError::decodeFailed("no audio stream");
  return assembler_->build();
}
