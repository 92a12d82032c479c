#include "dsp/SignalAnalysis.h"

#include <algorithm>
#include <cmath>

namespace quar {

namespace {

constexpr int64_t kChunk = 65536;

} // namespace

SignalStats SignalAnalysis::stats(const AudioSource& source, std::optional<FrameRange> range) {
  const FrameRange full = source.fullRange();
  const FrameRange clampedRange = range.value_or(full).clamped(full);
  const auto channels = static_cast<size_t>(std::max(source.channelCount(), 0));

  SignalStats stats;
  stats.peak.assign(channels, 0.0f);
  stats.peakFrame.assign(channels, clampedRange.isEmpty() ? 0 : clampedRange.lowerBound);
  std::vector<double> sums(channels, 0.0), squares(channels, 0.0);

  source.forEachChunk(clampedRange, kChunk, [&](ChannelViews chunk, int64_t firstFrame) {
    for (size_t c = 0; c < channels; ++c) {
      const std::span<const float> samples = chunk[c];
      for (size_t i = 0; i < samples.size(); ++i) {
        const float magnitude = std::fabs(samples[i]);
        if (magnitude > stats.peak[c]) {
          stats.peak[c] = magnitude;
          stats.peakFrame[c] = firstFrame + static_cast<int64_t>(i);
        }
      }
      for (const float sample : samples) {
        sums[c] += sample;
        squares[c] += static_cast<double>(sample) * sample;
      }
    }
  });

  const auto count = static_cast<double>(std::max<int64_t>(clampedRange.count(), 1));
  for (size_t c = 0; c < channels; ++c) {
    stats.rms.push_back(std::sqrt(squares[c] / count));
    stats.dcOffset.push_back(sums[c] / count);
  }
  return stats;
}

} // namespace quar
