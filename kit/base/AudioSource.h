// AudioSource: the one read interface for planar 32-bit float audio (content, enveloped
// sources, ArraySource). Shared operations walk a source in chunks or read short ranges.
// Content may be read concurrently: read() and the helpers are const and may run on several
// threads at once (offline conversion and analysis read one source from many threads), so an
// implementation keeps no state that reading changes. Nothing may modify a source while it is
// being read. Reading allocates only in the shared helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/FrameRange.h"

namespace quar {

// One chunk of planar audio: one read-only view per channel, all of the chunk's length.
using ChannelViews = std::span<const std::span<const float>>;

class AudioSource {
public:
  virtual ~AudioSource() = default;

  virtual int channelCount() const = 0;
  virtual double sampleRate() const = 0;  // Hz
  virtual int64_t frameCount() const = 0;
  // Writes range.count() frames into each destination (one pointer per channel), the range's
  // first frame at index 0. The range must lie inside [0, frameCount()].
  virtual void read(FrameRange range, std::span<float* const> destinations) const = 0;

  // frameCount / sampleRate in seconds; 0 when the rate is not positive.
  double duration() const;
  FrameRange fullRange() const;
  // One array per channel holding the range; meant for short ranges.
  std::vector<std::vector<float>> readChannels(FrameRange range) const;
  // Calls `body(chunk, firstFrame)` for consecutive chunks of at most max(1, chunkSize) frames
  // over `range` (default: the full range). Views are valid only during the call; an exception
  // from `body` ends the walk and propagates.
  void forEachChunk(std::optional<FrameRange> range, int64_t chunkSize,
                    const std::function<void(ChannelViews chunk, int64_t firstFrame)>& body) const;
};

// An AudioSource over planar arrays held in memory.
class ArraySource final : public AudioSource {
public:
  // At least one channel, all of equal length.
  ArraySource(std::vector<std::vector<float>> channels, double sampleRate);

  int channelCount() const override { return static_cast<int>(channels_.size()); }
  double sampleRate() const override { return sampleRate_; }
  int64_t frameCount() const override { return static_cast<int64_t>(channels_.front().size()); }
  // Fills only destinations that are also channel indices.
  void read(FrameRange range, std::span<float* const> destinations) const override;

  const std::vector<std::vector<float>>& channels() const { return channels_; }

private:
  std::vector<std::vector<float>> channels_;
  double sampleRate_;
};

} // namespace quar
