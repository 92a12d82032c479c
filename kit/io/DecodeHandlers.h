// The callbacks every decoder reports through: progress, the file description, and the audio as
// read-only chunks in order or written straight into rooms the handler gives out. Which thread
// calls them is up to the decoder (see AudioDecoder).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/AudioFormats.h"
#include "base/AudioSource.h"
#include "base/BlockRoom.h"

namespace quar {

// Progress of a decode as a fraction [0, 1]; returning false cancels.
using DecodeProgress = std::function<bool(double fraction)>;
// Receives the file description once, before the first chunk.
using DecodeFormatHandler = std::function<void(const AudioFileInfo& info)>;
// Receives one read-only view per channel, valid only during the call.
using DecodeChunkHandler = std::function<void(ChannelViews chunk)>;
// Gives room for `frames` frames of `channels` channels, to hold frames [start, start + frames)
// of the file; the decoder writes the samples into it and finishes it. May throw (no room).
using DecodeRoomHandler =
    std::function<std::unique_ptr<BlockRoom>(int channels, int64_t start, int64_t frames)>;

} // namespace quar
