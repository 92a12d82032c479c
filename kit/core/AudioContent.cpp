#include "core/AudioContent.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "base/Precondition.h"
#include "core/AudioContentBuilder.h"

namespace quar {

namespace {

int checkedChannelCount(int channelCount) {
  QUAR_PRECONDITION(channelCount >= 1, "AudioContent needs at least one channel");
  return channelCount;
}

} // namespace

AudioContent::AudioContent(int channelCount, double sampleRate)
    : channelCount_(checkedChannelCount(channelCount)), sampleRate_(sampleRate) {}

AudioContent::AudioContent(int channelCount, double sampleRate, std::vector<Segment> segments)
    : channelCount_(checkedChannelCount(channelCount)), sampleRate_(sampleRate) {
  segments_.reserve(segments.size());
  for (auto& segment : segments) {
    if (segment.count <= 0) continue;
    QUAR_PRECONDITION(segment.block && segment.block->channelCount() == channelCount_,
                      "Segment block must have the content's channel count");
    QUAR_PRECONDITION(segment.offset >= 0 && segment.count <= segment.block->frameCount() - segment.offset,
                      "Segment must lie inside its block");
    segments_.push_back(std::move(segment));
  }
  reindex();
}

AudioContent::AudioContent(const std::vector<std::vector<float>>& channels, double sampleRate)
    : AudioContent(checkedChannelCount(static_cast<int>(channels.size())), sampleRate) {
  for (const auto& channel : channels)
    QUAR_PRECONDITION(channel.size() == channels.front().size(), "Channels must have equal length");
  AudioContentBuilder builder(channelCount_, sampleRate);
  builder.append(channels);
  *this = builder.build();
}

AudioContent AudioContent::copying(const AudioSource& source, std::optional<FrameRange> range) {
  AudioContentBuilder builder(source.channelCount(), source.sampleRate());
  source.forEachChunk(range, AudioBlock::preferredFrameCount,
                      [&](ChannelViews chunk, int64_t) { builder.append(chunk); });
  return builder.build();
}

AudioContent AudioContent::silence(int64_t frames, int channelCount, double sampleRate) {
  checkedChannelCount(channelCount);
  if (frames < 1) return {channelCount, sampleRate};
  const int64_t blockFrames = std::min(frames, AudioBlock::preferredFrameCount);
  const BlockRef zeros = AudioBlock::make(
      std::vector<std::vector<float>>(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(blockFrames))));
  std::vector<Segment> segments;
  segments.reserve(static_cast<size_t>((frames + blockFrames - 1) / blockFrames));
  for (int64_t start = 0; start < frames; start += blockFrames)
    segments.push_back({zeros, 0, std::min(blockFrames, frames - start)});
  return {channelCount, sampleRate, std::move(segments)};
}

size_t AudioContent::segmentIndex(int64_t frame) const {
  size_t lo = 0;
  size_t hi = starts_.empty() ? 0 : starts_.size() - 1;
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (frame < starts_[mid])
      hi = mid - 1;
    else
      lo = mid;
  }
  return lo;
}

void AudioContent::read(FrameRange range, std::span<float* const> destinations) const {
  QUAR_PRECONDITION(range.lowerBound >= 0 && range.upperBound <= frameCount_, "read outside the content");
  readInto(range, destinations, 0);
}

void AudioContent::readInto(FrameRange range, std::span<float* const> destinations, int64_t destinationOffset) const {
  if (range.isEmpty() || segments_.empty()) return;
  const size_t channels = std::min(destinations.size(), static_cast<size_t>(channelCount_));
  size_t i = segmentIndex(range.lowerBound);
  int64_t pos = range.lowerBound;
  while (true) {
    const Segment& segment = segments_[i];
    const int64_t local = pos - starts_[i];
    const int64_t end = std::min(range.upperBound - starts_[i], segment.count);
    const int64_t n = end - local;
    const int64_t target = destinationOffset + pos - range.lowerBound;
    for (size_t c = 0; c < channels; ++c) {
      const float* source = segment.block->channel(static_cast<int>(c)) + segment.offset + local;
      std::copy(source, source + n, destinations[c] + target);
    }
    pos += n;
    if (pos >= range.upperBound || i + 1 >= segments_.size()) break;
    ++i;
  }
}

void AudioContent::pageIn(FrameRange range) const {
  const FrameRange clamped = clampedToContent(range);
  if (clamped.isEmpty()) return;
  static const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  size_t i = segmentIndex(clamped.lowerBound);
  int64_t pos = clamped.lowerBound;
  while (pos < clamped.upperBound && i < segments_.size()) {
    const Segment& segment = segments_[i];
    const int64_t local = pos - starts_[i];
    const int64_t end = std::min(clamped.upperBound - starts_[i], segment.count);
    if (segment.block->inStore()) {
      for (int c = 0; c < channelCount_; ++c) {
        const float* first = segment.block->channel(c) + segment.offset + local;
        const auto lower = reinterpret_cast<uintptr_t>(first) / page * page;
        const auto upper = reinterpret_cast<uintptr_t>(first + (end - local));
        ::madvise(reinterpret_cast<void*>(lower), upper - lower, MADV_WILLNEED);
        for (uintptr_t address = lower; address < upper; address += page)
          static_cast<void>(*reinterpret_cast<const volatile char*>(address));
      }
    }
    pos += end - local;
    ++i;
  }
}

void AudioContent::readPadded(FrameRange range, std::span<float* const> destinations) const {
  for (float* destination : destinations) std::fill(destination, destination + range.count(), 0.0f);
  const int64_t lower = std::max<int64_t>(range.lowerBound, 0);
  const int64_t upper = std::min(range.upperBound, frameCount_);
  if (lower < upper) readInto({lower, upper}, destinations, lower - range.lowerBound);
}

float AudioContent::sample(int channel, int64_t frame) const {
  QUAR_PRECONDITION(channel >= 0 && channel < channelCount_, "channel outside the content");
  QUAR_PRECONDITION(frame >= 0 && frame < frameCount_, "frame outside the content");
  const size_t i = segmentIndex(frame);
  const Segment& segment = segments_[i];
  return segment.block->channel(channel)[segment.offset + frame - starts_[i]];
}

FrameRange AudioContent::clampedToContent(FrameRange range) const {
  return range.clamped({0, frameCount_});
}

void AudioContent::appendPieces(FrameRange range, std::vector<Segment>& out) const {
  if (range.isEmpty() || segments_.empty()) return;
  size_t i = segmentIndex(range.lowerBound);
  int64_t pos = range.lowerBound;
  while (pos < range.upperBound && i < segments_.size()) {
    const Segment& segment = segments_[i];
    const int64_t local = pos - starts_[i];
    const int64_t end = std::min(range.upperBound - starts_[i], segment.count);
    out.push_back({segment.block, segment.offset + local, end - local});
    pos += end - local;
    ++i;
  }
}

bool AudioContent::isIdentical(const AudioContent& other) const {
  if (channelCount_ != other.channelCount_ || sampleRate_ != other.sampleRate_ || frameCount_ != other.frameCount_ ||
      segments_.size() != other.segments_.size())
    return false;
  for (size_t i = 0; i < segments_.size(); ++i) {
    const Segment& a = segments_[i];
    const Segment& b = other.segments_[i];
    if (a.block != b.block || a.offset != b.offset || a.count != b.count) return false;
  }
  return true;
}

void AudioContent::takePieces(FrameRange range, std::vector<Segment>& out) {
  if (range.isEmpty() || segments_.empty()) return;
  size_t i = segmentIndex(range.lowerBound);
  int64_t pos = range.lowerBound;
  while (pos < range.upperBound && i < segments_.size()) {
    Segment& segment = segments_[i];
    const int64_t local = pos - starts_[i];
    const int64_t end = std::min(range.upperBound - starts_[i], segment.count);
    if (local == 0 && end == segment.count) out.push_back(std::move(segment));
    else out.push_back({segment.block, segment.offset + local, end - local});
    pos += end - local;
    ++i;
  }
}

AudioContent AudioContent::slice(FrameRange range) const {
  std::vector<Segment> pieces;
  appendPieces(clampedToContent(range), pieces);
  return {channelCount_, sampleRate_, std::move(pieces)};
}

void AudioContent::replaceSubrange(FrameRange range, const AudioContent& other) {
  QUAR_PRECONDITION(other.channelCount_ == channelCount_, "Spliced content must have the same channel count");
  QUAR_PRECONDITION(other.frameCount_ == 0 || other.sampleRate_ == sampleRate_,
                    "Spliced content must have the same sample rate");
  if (&other == this) {
    const AudioContent copy = other;
    replaceSubrange(range, copy);
    return;
  }
  const FrameRange clamped = clampedToContent(range);
  // All that can fail (memory for the lists, new blocks for compaction) comes before the content
  // changes: a failed splice leaves it as it was. Its segments move into the new list, and back
  // again when compaction fails.
  std::vector<Segment> next;
  next.reserve(segments_.size() + other.segments_.size() + 2);
  starts_.reserve(next.capacity());
  const size_t tailFrom = segmentIndex(clamped.upperBound);
  takePieces({0, clamped.lowerBound}, next);
  const size_t headCount = next.size();
  next.insert(next.end(), other.segments_.begin(), other.segments_.end());
  const size_t tailStart = next.size();
  takePieces({clamped.upperBound, frameCount_}, next);
  try {
    if (std::optional<std::vector<Segment>> compact = compacted(next)) next = std::move(*compact);
  } catch (...) {
    // The segments that moved are those left without a block here.
    const auto giveBack = [&](size_t first, size_t last, size_t from) {
      for (size_t i = first; i < last; ++i)
        if (Segment& own = segments_[from + i - first]; !own.block) own = std::move(next[i]);
    };
    giveBack(0, headCount, 0);
    giveBack(tailStart, next.size(), tailFrom);
    throw;
  }
  segments_ = std::move(next);
  reindex();  // within the capacity reserved above
}

void AudioContent::removeSubrange(FrameRange range) {
  replaceSubrange(range, AudioContent(channelCount_, sampleRate_));
}

void AudioContent::insert(const AudioContent& other, int64_t frame) {
  const int64_t at = std::clamp<int64_t>(frame, 0, frameCount_);
  replaceSubrange({at, at}, other);
}

void AudioContent::append(const AudioContent& other) {
  replaceSubrange({frameCount_, frameCount_}, other);
}

void AudioContent::reindex() {
  starts_.clear();
  starts_.reserve(segments_.size());
  int64_t total = 0;
  for (const auto& segment : segments_) {
    starts_.push_back(total);
    total += segment.count;
  }
  frameCount_ = total;
}

} // namespace quar
