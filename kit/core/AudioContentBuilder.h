// AudioContentBuilder: turns a stream of planar float chunks of any size into an AudioContent
// of 65536-frame blocks (shorter only where the stream was flushed: at build, before an
// appended content, at the end). Not thread-safe; appending writes straight into the storage of
// the block it fills (BlockSamples, from the block store: may throw QuarError::outOfSpace, after
// which the builder is to be dropped), and builds the whole
// blocks inside a long chunk concurrently on the shared worker pool. Movable, not copyable.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/AudioSource.h"
#include "core/AudioContent.h"

namespace quar {

class AudioContentBuilder {
public:
  // channelCount must not be negative; producers pass at least 1 (a builder without channels
  // cannot build).
  // `placement` says where the sealed blocks go (store by default).
  AudioContentBuilder(int channelCount, double sampleRate,
                      BlockSamples::Placement placement = BlockSamples::Placement::store);

  int channelCount() const { return channelCount_; }
  double sampleRate() const { return sampleRate_; }
  // Frames sealed or shared so far plus the pending frames.
  int64_t frameCount() const;

  // Appends one planar chunk, one view per channel; the chunk's length is the first view's.
  // An empty chunk (no views, or an empty first view) does nothing.
  void append(ChannelViews chunk);
  void append(const std::vector<std::vector<float>>& chunk);
  void appendSilence(int64_t frames);
  // Seals the pending frames into a (possibly short) block, then appends the content's
  // segments as they are, sharing its blocks. Its channel count must match; its rate is ignored.
  void append(const AudioContent& content);

  // Seals the pending frames and returns everything so far; the builder stays usable.
  AudioContent build();
  // Everything so far including the pending frames (copied into a temporary block), without
  // changing the builder.
  AudioContent snapshot() const;

private:
  void seal();
  void flush();

  int channelCount_;
  double sampleRate_;
  BlockSamples::Placement placement_;
  std::vector<Segment> segments_;
  std::optional<BlockSamples> pending_;  // room for one whole block, made at the first frame
  int64_t pendingFrames_ = 0;
};

} // namespace quar
