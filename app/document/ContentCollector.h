// ContentCollector: gathers a decoder's output into AudioContent. The format callback starts
// a builder for a usable stream (at least one channel, a positive finite rate), chunks are
// appended to it, and `finish` builds the content; without a usable stream `finish` throws
// the decode error "no audio stream". Used on the decoding thread only.
#pragma once

#include <optional>

#include "base/AudioFormats.h"
#include "base/AudioSource.h"
#include "core/AudioContent.h"
#include "core/AudioContentBuilder.h"

class ContentCollector {
public:
  // Starts again for the stream described by `format`.
  void begin(const quar::AudioFileInfo& format);
  // Appends one chunk (one view per channel); dropped before a usable format.
  void append(quar::ChannelViews chunk);
  quar::AudioContent finish();

private:
  std::optional<quar::AudioContentBuilder> builder_;
};
