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
  mins.assign(channels, std::vector<float>(bins));
  maxs.assign(channels, std::vector<float>(bins));
  sumSquares.assign(channels, std::vector<float>(bins));
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
  float lo = samples[0], hi = samples[0], sum = 0;
  for (int64_t i = 0; i < count; ++i) {
    const float x = samples[i];
    lo = std::min(lo, x);
    hi = std::max(hi, x);
    sum += x * x;
  }
  return {lo, hi, sum, count};
}

float PeakSummary::rms() const {
  if (count < 1) return 0;
  return std::sqrt(sumSquares / static_cast<float>(count));
}

} // namespace quar
