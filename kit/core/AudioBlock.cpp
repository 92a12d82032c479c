#include "core/AudioBlock.h"

#include <algorithm>
#include <cmath>

#include "base/Precondition.h"

namespace quar {

namespace {

// The summary checks that the channels have equal length.
std::vector<std::vector<float>> validated(std::vector<std::vector<float>> samples) {
  QUAR_PRECONDITION(!samples.empty(), "AudioBlock needs at least one channel");
  return samples;
}

} // namespace

QuarSummary::QuarSummary(const std::vector<std::vector<float>>& samples) {
  const size_t channels = samples.size();
  if (channels == 0) return;
  for (const auto& channel : samples)
    QUAR_PRECONDITION(channel.size() == samples.front().size(), "Summarised channels must have equal length");
  const auto frames = static_cast<int64_t>(samples.front().size());
  const auto bins = static_cast<size_t>((frames + binFrames - 1) / binFrames);
  const auto groups = (bins + binsPerGroup - 1) / binsPerGroup;
  mins.assign(channels, std::vector<float>(bins));
  maxs.assign(channels, std::vector<float>(bins));
  sumSquares.assign(channels, std::vector<float>(bins));
  groupMins.assign(channels, std::vector<float>(groups));
  groupMaxs.assign(channels, std::vector<float>(groups));
  groupSumSquares.assign(channels, std::vector<float>(groups));
  blockMin.assign(channels, 0);
  blockMax.assign(channels, 0);
  blockSumSquares.assign(channels, 0);
  for (size_t c = 0; c < channels; ++c) {
    const float* data = samples[c].data();
    for (size_t b = 0; b < bins; ++b) {
      const int64_t start = static_cast<int64_t>(b) * binFrames;
      const PeakSummary v = PeakSummary::of(data + start, std::min(frames - start, binFrames));
      mins[c][b] = v.min;
      maxs[c][b] = v.max;
      sumSquares[c][b] = v.sumSquares;
    }
    for (size_t g = 0; g < groups; ++g) {
      const auto first = static_cast<ptrdiff_t>(g * binsPerGroup);
      const auto end = static_cast<ptrdiff_t>(std::min(bins, (g + 1) * binsPerGroup));
      groupMins[c][g] = *std::min_element(mins[c].begin() + first, mins[c].begin() + end);
      groupMaxs[c][g] = *std::max_element(maxs[c].begin() + first, maxs[c].begin() + end);
      float total = 0;
      for (auto b = first; b < end; ++b) total += sumSquares[c][static_cast<size_t>(b)];
      groupSumSquares[c][g] = total;
    }
    if (bins == 0) continue;
    blockMin[c] = *std::min_element(mins[c].begin(), mins[c].end());
    blockMax[c] = *std::max_element(maxs[c].begin(), maxs[c].end());
    float total = 0;
    for (float s : sumSquares[c]) total += s;
    blockSumSquares[c] = total;
  }
}

AudioBlock::AudioBlock(std::vector<std::vector<float>> samples)
    : samples_(validated(std::move(samples))),
      frameCount_(static_cast<int64_t>(samples_.front().size())),
      summary_(samples_) {}

PeakSummary PeakSummary::of(const float* samples, int64_t count) {
  // Groups of `lanes` samples with a fixed-length inner loop, which the compiler vectorises at
  // -O2. Every lane starts from the first sample, so NaN stays out of the extremes as in a
  // sample-by-sample pass.
  constexpr int64_t lanes = 16;
  float lo[lanes], hi[lanes], sums[lanes] = {};
  std::fill_n(lo, lanes, samples[0]);
  std::fill_n(hi, lanes, samples[0]);
  int64_t i = 0;
  for (; i + lanes <= count; i += lanes)
    for (int64_t l = 0; l < lanes; ++l) {
      const float x = samples[i + l];
      lo[l] = std::min(lo[l], x);
      hi[l] = std::max(hi[l], x);
      sums[l] += x * x;
    }
  float low = lo[0], high = hi[0], sum = 0;
  for (int64_t l = 0; l < lanes; ++l) {
    low = std::min(low, lo[l]);
    high = std::max(high, hi[l]);
    sum += sums[l];
  }
  for (; i < count; ++i) {
    const float x = samples[i];
    low = std::min(low, x);
    high = std::max(high, x);
    sum += x * x;
  }
  return {low, high, sum, count};
}

float PeakSummary::rms() const {
  if (count < 1) return 0;
  return std::sqrt(sumSquares / static_cast<float>(count));
}

} // namespace quar
