// Work memory of offline analysis and rendering.
// ChannelBuffers: planar float work buffers (capacity in frames, at least 1) with zero-padded
// reading from an AudioSource. DoubleScratch: one growable double work buffer. Both allocate only
// in their constructors and reserve(); they lock nothing and belong to one owner (concurrent
// users may touch disjoint channels only).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/AudioSource.h"
#include "base/FrameRange.h"

namespace quar {

class ChannelBuffers {
public:
  // channelCount >= 0 zero-filled buffers of max(1, capacity) samples each.
  ChannelBuffers(int channelCount, int64_t capacity);
  ChannelBuffers(const ChannelBuffers&) = delete;
  ChannelBuffers& operator=(const ChannelBuffers&) = delete;

  int channelCount() const { return static_cast<int>(pointers_.size()); }
  int64_t capacity() const { return capacity_; }
  // One pointer per channel, each to `capacity()` samples; valid until the next reserve().
  std::span<float* const> pointers() const { return pointers_; }
  float* channel(int index) const { return pointers_[static_cast<size_t>(index)]; }

  // Grows every channel to `capacity` zero-filled samples (old contents are dropped); does
  // nothing when the capacity is not larger than the current one.
  void reserve(int64_t capacity);
  // Read-only views of the first `count` (<= capacity) samples of every channel.
  std::vector<std::span<const float>> buffers(int64_t count) const;
  // Fills samples [offset, offset + range.count()) of every channel with the source's frames
  // of `range`; frames outside `limit` (default: the whole source, always clamped to it) read
  // as zero. Calls source.read at most once, and not at all when nothing lies inside the limit.
  void readZeroPadded(const AudioSource& source, FrameRange range, std::optional<FrameRange> limit = std::nullopt,
                      int64_t offset = 0);

private:
  std::vector<std::unique_ptr<float[]>> storage_;
  std::vector<float*> pointers_;
  std::vector<float*> shifted_;  // destinations of readZeroPadded, kept to avoid allocating
  int64_t capacity_;
};

class DoubleScratch {
public:
  explicit DoubleScratch(int64_t capacity = 0);
  DoubleScratch(const DoubleScratch&) = delete;
  DoubleScratch& operator=(const DoubleScratch&) = delete;

  // `capacity()` doubles; null while the capacity is 0.
  double* pointer() const { return storage_.get(); }
  int64_t capacity() const { return capacity_; }
  // Replaces the memory by `capacity` zeros when that is larger than the current capacity
  // (old contents are dropped); otherwise does nothing.
  void reserve(int64_t capacity);

private:
  std::unique_ptr<double[]> storage_;
  int64_t capacity_ = 0;
};

} // namespace quar
