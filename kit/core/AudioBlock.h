// AudioBlock: immutable planar float storage (up to 65536 frames when built by the builder)
// with its waveform summary, shared by reference (std::shared_ptr<const AudioBlock>) between
// contents, undo states and playback; safe to read from any thread.
// QuarSummary: per-channel min, max and sum of squares per 256-frame bin, per group of 16 bins
// (4096 frames) and per block.
// PeakSummary: the min, max, sum of squares and count a peak query returns.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace quar {

struct QuarSummary {
  static constexpr int64_t binFrames = 256;
  static constexpr int64_t binsPerGroup = 16;

  std::vector<std::vector<float>> mins;             // [channel][bin]
  std::vector<std::vector<float>> maxs;             // [channel][bin]
  std::vector<std::vector<float>> sumSquares;       // [channel][bin]
  std::vector<std::vector<float>> groupMins;        // [channel][group]: bins [16·g, 16·g + 16)
  std::vector<std::vector<float>> groupMaxs;        // [channel][group]
  std::vector<std::vector<float>> groupSumSquares;  // [channel][group], bins added in order
  std::vector<float> blockMin;                 // [channel]
  std::vector<float> blockMax;                 // [channel]
  std::vector<float> blockSumSquares;          // [channel]

  QuarSummary() = default;
  // Channels of one length (none gives empty arrays).
  explicit QuarSummary(const std::vector<std::vector<float>>& samples);
};

class AudioBlock {
public:
  static constexpr int64_t preferredFrameCount = 65536;

  // At least one channel array, all of one length; computes the summary.
  explicit AudioBlock(std::vector<std::vector<float>> samples);
  AudioBlock(const AudioBlock&) = delete;
  AudioBlock& operator=(const AudioBlock&) = delete;
  static std::shared_ptr<const AudioBlock> make(std::vector<std::vector<float>> samples) {
    return std::make_shared<const AudioBlock>(std::move(samples));
  }

  int64_t frameCount() const { return frameCount_; }
  int channelCount() const { return static_cast<int>(samples_.size()); }
  const std::vector<std::vector<float>>& samples() const { return samples_; }
  const float* channel(int c) const { return samples_[static_cast<size_t>(c)].data(); }
  const QuarSummary& summary() const { return summary_; }

private:
  std::vector<std::vector<float>> samples_;
  int64_t frameCount_;
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

  // The exact summary of samples[0], …, samples[count − 1], count >= 1; the sum of squares is added in 16
  // interleaved partial sums.
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
