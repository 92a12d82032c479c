// The callbacks every decoder reports through: progress, the file description, and the audio as
// read-only chunks in order or as blocks the handler keeps. Which thread calls them is up to
// the decoder (see AudioDecoder).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/AudioFormats.h"
#include "base/AudioSource.h"

namespace quar {

// Progress of a decode as a fraction [0, 1]; returning false cancels.
using DecodeProgress = std::function<bool(double fraction)>;
// Receives the file description once, before the first chunk.
using DecodeFormatHandler = std::function<void(const AudioFileInfo& info)>;
// Receives one read-only view per channel, valid only during the call.
using DecodeChunkHandler = std::function<void(ChannelViews chunk)>;
// Receives the frames [start, start + length) of a file as planar arrays (one per channel, all
// of one length) that the handler may keep.
using DecodeBlockHandler = std::function<void(std::vector<std::vector<float>>&& channels, int64_t start)>;

} // namespace quar
