// AudioContent: the edited audio of a document as a piece table, an ordered list of Segments
// (views into shared immutable AudioBlocks). Edits splice segment lists and never copy samples;
// copying a content copies only its small segment and start arrays. Frames are int64 indices
// at `sampleRate` Hz; samples are planar 32-bit floats.
// Reading (read, readPadded, sample, peaks) allocates and locks nothing and may run on the
// audio thread, as long as no other thread mutates the same copy. Edits and transforms
// allocate.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"
#include "core/AudioBlock.h"

namespace quar {

// One view into a block: frames [offset, offset + count) of `block`.
struct Segment {
  BlockRef block;
  int64_t offset = 0;
  int64_t count = 0;
};

// One chunk of planar audio the callee may rewrite: one mutable view per channel.
using MutableChannelViews = std::span<const std::span<float>>;

class AudioContent final : public AudioSource {
public:
  // Segments shorter than this are "small" and may be copied together by compaction.
  static constexpr int64_t smallSegmentLimit = 4096;

  // Empty content; channelCount must be at least 1.
  AudioContent(int channelCount, double sampleRate);
  // Content over the given segments in order; segments with no frames are dropped. Every
  // segment must lie inside its block, and every block must have channelCount channels.
  AudioContent(int channelCount, double sampleRate, std::vector<Segment> segments);
  // Copies planar arrays (at least one, all of one length) into new blocks.
  AudioContent(const std::vector<std::vector<float>>& channels, double sampleRate);

  // Copies `range` of any source (default: all of it) into new blocks; never shares blocks.
  static AudioContent copying(const AudioSource& source, std::optional<FrameRange> range = std::nullopt);
  // `frames` zero frames, every segment a view of one shared silent block; frames < 1 gives an
  // empty content.
  static AudioContent silence(int64_t frames, int channelCount, double sampleRate);

  int channelCount() const override { return channelCount_; }
  double sampleRate() const override { return sampleRate_; }
  int64_t frameCount() const override { return frameCount_; }
  bool isEmpty() const { return frameCount_ == 0; }
  int64_t segmentCount() const { return static_cast<int64_t>(segments_.size()); }
  const std::vector<Segment>& segments() const { return segments_; }

  // Copies the range (inside [0, frameCount]) of the first min(destinations, channelCount)
  // channels; destination c receives channel c from index 0. Other destinations are untouched.
  void read(FrameRange range, std::span<float* const> destinations) const override;
  // Like read, for any range: every destination is zero-filled over the range first, then the
  // part of the range inside the content is read into its place.
  void readPadded(FrameRange range, std::span<float* const> destinations) const;
  // One sample; 0 <= channel < channelCount, 0 <= frame < frameCount.
  float sample(int channel, int64_t frame) const;
  // Makes the samples of the range (clamped to the content) resident in memory: the kernel is
  // asked to read what it paged out, then every page is touched, waiting for the disk where it
  // must. For a thread that keeps what playback reads ahead of it; not for the audio thread.
  void pageIn(FrameRange range) const;

  // True when both are the same segments of the same blocks at one format (a copy of the same
  // content, not merely equal samples). Cheap: compares the segment lists only.
  bool isIdentical(const AudioContent& other) const;

  // The frames of the range (clamped to [0, frameCount]), sharing blocks.
  AudioContent slice(FrameRange range) const;
  // Replaces the frames of the range (clamped) by all frames of `other`, sharing its blocks,
  // then compacts runs of small segments when the content is fragmented. `other` must have this
  // channel count and, unless empty, this sample rate. `other` may be this content itself.
  // Compaction makes blocks: when it finds no room (QuarError::outOfSpace) or memory, the splice
  // throws and the content is left as it was, as for the three edits below.
  void replaceSubrange(FrameRange range, const AudioContent& other);
  // Removes the frames of the range (clamped).
  void removeSubrange(FrameRange range);
  // Inserts `other` at `frame`, clamped to [0, frameCount].
  void insert(const AudioContent& other, int64_t frame);
  void append(const AudioContent& other);

  // Min, max, sum of squares and count of one channel over the range (clamped); answered from
  // block summaries except at unaligned edges. PeakSummary::empty() for an empty range.
  PeakSummary peaks(int channel, FrameRange range) const;

  // Returns a copy whose frames in `range` (clamped) were rewritten chunk by chunk: `body`
  // receives, per chunk of at most chunkSize (>= 1) frames in ascending order, the chunk's
  // samples of the selected channels (`channels`, nil: all; indices outside the content are
  // ignored) and the chunk's first content frame. An exception from `body` propagates and no
  // result is made. Every channel of the range goes into new blocks; the rest stays shared.
  AudioContent transformed(FrameRange range, const std::optional<std::set<int>>& channels, int64_t chunkSize,
                           const std::function<void(MutableChannelViews chunk, int64_t start)>& body) const;
  // Like transformed with chunks of AudioBlock::preferredFrameCount frames, each of which becomes
  // one new block, except that `body` runs for several chunks at once on the shared worker pool,
  // in any order: it must be safe to call from several threads at once. `progress` (optional)
  // gets the fraction done after every batch of chunks; false throws CancellationError.
  AudioContent transformedConcurrently(FrameRange range, const std::optional<std::set<int>>& channels,
                                       const std::function<void(MutableChannelViews chunk, int64_t start)>& body,
                                       const std::function<bool(double)>& progress = {}) const;

private:
  // Index of the last segment starting at or before `frame` (0 with fewer than 2 segments).
  size_t segmentIndex(int64_t frame) const;
  // Reads the range into the destinations starting at index destinationOffset.
  void readInto(FrameRange range, std::span<float* const> destinations, int64_t destinationOffset) const;
  // Appends the views of frames range (inside the content) to `out`.
  void appendPieces(FrameRange range, std::vector<Segment>& out) const;
  // The same for a content about to drop its segments: segments wholly inside the range move to
  // `out` (their blocks' reference counts untouched, their places here left without a block),
  // so an edit costs little whatever the number of segments. The ranges of two calls must not
  // share a whole segment.
  void takePieces(FrameRange range, std::vector<Segment>& out);
  FrameRange clampedToContent(FrameRange range) const;
  void reindex();
  // `segments` of this format with their runs of small segments copied into new blocks, when
  // they are fragmented enough to be worth it; none when nothing changes. `segments` stay as
  // they are, also when making the blocks fails.
  std::optional<std::vector<Segment>> compacted(const std::vector<Segment>& segments) const;

  int channelCount_;
  double sampleRate_;
  std::vector<Segment> segments_;
  std::vector<int64_t> starts_;
  int64_t frameCount_ = 0;
};

} // namespace quar
