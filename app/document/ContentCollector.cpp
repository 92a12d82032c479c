#include "document/ContentCollector.h"

#include <cmath>

#include "base/QuarError.h"

void ContentCollector::begin(const quar::AudioFileInfo& format) {
  builder_.reset();
  if (format.channelCount >= 1 && std::isfinite(format.sampleRate) && format.sampleRate > 0)
    builder_.emplace(format.channelCount, format.sampleRate);
}

void ContentCollector::append(quar::ChannelViews chunk) {
  if (builder_) builder_->append(chunk);
}

quar::AudioContent ContentCollector::finish() {
  if (!builder_) throw quar::QuarError::decodeFailed("no audio stream");
  return builder_->build();
}
