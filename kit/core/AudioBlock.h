// BlockSamples: the writable planar float storage that a block is made from, with room after
// the samples for the block's summary: in the block store (file-backed memory the kernel can
// page out, BlockStore.h) from 64 KiB up, on the heap below that, when asked, or when there is
// no store. Making one reserves its space and may throw QuarError::outOfSpace; not for the
// audio thread.
// AudioBlock: immutable planar float storage (up to 65536 frames when built by the builder)
// with its waveform summary, shared by reference (std::shared_ptr<const AudioBlock>) between
// contents, undo states and playback; safe to read from any thread. Its samples may have been
// paged out: a read then waits for the disk, so what the audio thread plays is paged in ahead
// of it with AudioContent::pageIn. Destroying a block frees its storage (not on the audio
// thread).
// SummaryArrays: one float array of a summary per channel, all of one length, read in place.
// QuarSummary: per-channel min, max and sum of squares per 256-frame bin, per group of 16 bins
// (4096 frames) and per block. A block's bin and group arrays live in its storage after the
// samples (paged like them); the per-block values are on the heap.
// PeakSummary: the min, max, sum of squares and count a peak query returns.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "core/BlockStore.h"

namespace quar {

class SummaryArrays {
public:
  SummaryArrays() = default;
  // `channels` arrays of `count` floats, one after the other from `data`.
  SummaryArrays(float* data, size_t channels, size_t count) : data_(data), channels_(channels), count_(count) {}

  // The number of channels.
  size_t size() const { return channels_; }
  std::span<const float> operator[](size_t channel) const { return {data_ + channel * count_, count_}; }
  std::span<float> operator[](size_t channel) { return {data_ + channel * count_, count_}; }
  // Same shape and equal values.
  bool operator==(const SummaryArrays& other) const;

private:
  float* data_ = nullptr;
  size_t channels_ = 0;
  size_t count_ = 0;
};

struct QuarSummary {
  static constexpr int64_t binFrames = 256;
  static constexpr int64_t binsPerGroup = 16;

  SummaryArrays mins;             // [channel][bin]
  SummaryArrays maxs;             // [channel][bin]
  SummaryArrays sumSquares;       // [channel][bin]
  SummaryArrays groupMins;        // [channel][group]: bins [16·g, 16·g + 16)
  SummaryArrays groupMaxs;        // [channel][group]
  SummaryArrays groupSumSquares;  // [channel][group], bins added in order
  std::vector<float> blockMin;         // [channel]
  std::vector<float> blockMax;         // [channel]
  std::vector<float> blockSumSquares;  // [channel]

  // The floats the bin and group arrays of `channels` × `frames` samples take.
  static int64_t arrayFloats(int64_t channels, int64_t frames);

  QuarSummary() = default;
  // Channels of one length (none gives empty arrays), the arrays on the heap.
  explicit QuarSummary(const std::vector<std::vector<float>>& samples);
  // `frames` samples of each channel, the arrays on the heap.
  QuarSummary(std::span<const float* const> channels, int64_t frames);
  // The arrays in `room`: arrayFloats(channels.size(), frames) floats that outlive the summary.
  QuarSummary(std::span<const float* const> channels, int64_t frames, float* room);
  QuarSummary(QuarSummary&&) = default;
  QuarSummary& operator=(QuarSummary&&) = default;
  QuarSummary(const QuarSummary&) = delete;
  QuarSummary& operator=(const QuarSummary&) = delete;

private:
  void summarise(std::span<const float* const> channels, int64_t frames, float* room);

  std::vector<float> ownRoom_;  // the arrays when no room was given
};

class BlockSamples {
public:
  // store: in the block store when it has room, else QuarError::outOfSpace; storeOrHeap: on
  // the heap when the disk is full (for audio that cannot be refused, as a take being recorded);
  // heap: always on the heap (short-lived copies).
  enum class Placement { store, storeOrHeap, heap };

  // channels >= 1, frames >= 0; the samples are not initialised.
  BlockSamples(int channels, int64_t frames, Placement placement = Placement::store);
  // A copy of channel arrays of one length.
  explicit BlockSamples(const std::vector<std::vector<float>>& channels);
  // A copy of the first `frames` (at most source's) of every channel of `source`.
  BlockSamples(const BlockSamples& source, int64_t frames, Placement placement = Placement::store);
  ~BlockSamples();
  BlockSamples(BlockSamples&& other) noexcept;
  BlockSamples& operator=(BlockSamples&& other) noexcept;
  BlockSamples(const BlockSamples&) = delete;
  BlockSamples& operator=(const BlockSamples&) = delete;

  int channelCount() const { return channels_; }
  int64_t frameCount() const { return frames_; }
  float* channel(int c) { return data_ + static_cast<int64_t>(c) * frames_; }
  const float* channel(int c) const { return data_ + static_cast<int64_t>(c) * frames_; }
  // One pointer per channel.
  std::vector<float*> pointers();
  // Whether the samples are in the block store.
  bool inStore() const { return store_ != nullptr; }
  // QuarSummary::arrayFloats(channelCount(), frameCount()) floats after the samples.
  float* summaryRoom() { return data_ + static_cast<int64_t>(channels_) * frames_; }

private:
  void free();

  float* data_ = nullptr;
  int channels_ = 0;
  int64_t frames_ = 0;
  std::shared_ptr<BlockStore> store_;  // null: data_ is on the heap
  BlockStore::Range range_;
};

class AudioBlock {
public:
  static constexpr int64_t preferredFrameCount = 65536;

  // Takes the samples and computes the summary.
  explicit AudioBlock(BlockSamples samples);
  // At least one channel array, all of one length, copied.
  explicit AudioBlock(const std::vector<std::vector<float>>& samples);
  AudioBlock(const AudioBlock&) = delete;
  AudioBlock& operator=(const AudioBlock&) = delete;
  static std::shared_ptr<const AudioBlock> make(BlockSamples samples) {
    return std::make_shared<const AudioBlock>(std::move(samples));
  }
  static std::shared_ptr<const AudioBlock> make(const std::vector<std::vector<float>>& samples) {
    return std::make_shared<const AudioBlock>(samples);
  }

  int64_t frameCount() const { return samples_.frameCount(); }
  int channelCount() const { return samples_.channelCount(); }
  const float* channel(int c) const { return samples_.channel(c); }
  // Whether the samples are in the block store (file-backed) rather than on the heap.
  bool inStore() const { return samples_.inStore(); }
  const QuarSummary& summary() const { return summary_; }

private:
  BlockSamples samples_;
  QuarSummary summary_;
};

using BlockRef = std::shared_ptr<const AudioBlock>;

struct PeakSummary {
  float min = std::numeric_limits<float>::max();
  float max = -std::numeric_limits<float>::max();
  float sumSquares = 0;
  int64_t count = 0;

  // The fold's starting value: the first merged value wins both comparisons.
  static constexpr PeakSummary empty() { return {}; }

  // The exact summary of samples[0], …, samples[count − 1], count >= 1, a NaN or infinity
  // counted as 0; the sum of squares is added in 16 interleaved partial sums.
  static PeakSummary of(const float* samples, int64_t count);

  bool isEmpty() const { return count == 0; }
  // sqrt(sumSquares / count) in single precision; 0 when count < 1.
  float rms() const;
  // Folds a partial summary in; strict comparisons, so NaN never replaces an extreme.
  void merge(float otherMin, float otherMax, float otherSumSquares, int64_t otherCount) {
    if (otherMin < min) min = otherMin;
    if (max < otherMax) max = otherMax;
    sumSquares += otherSumSquares;
    count += otherCount;
  }

  bool operator==(const PeakSummary&) const = default;
};

} // namespace quar

template <>
struct std::hash<quar::PeakSummary> {
  size_t operator()(const quar::PeakSummary& p) const noexcept {
    size_t h = std::hash<float>{}(p.min);
    h = h * 31 + std::hash<float>{}(p.max);
    h = h * 31 + std::hash<float>{}(p.sumSquares);
    return h * 31 + std::hash<int64_t>{}(p.count);
  }
};
