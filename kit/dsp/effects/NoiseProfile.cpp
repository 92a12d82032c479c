#include "dsp/effects/NoiseProfile.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "dsp/Buffers.h"
#include "dsp/RealFFT.h"
#include "dsp/WindowFunction.h"

namespace quar {

NoiseProfile NoiseProfile::learn(const AudioSource& source, std::optional<FrameRange> range, int64_t fftSize) {
  const double log2Size = std::round(std::log2(static_cast<double>(std::max<int64_t>(fftSize, 1))));
  const int n = 1 << std::clamp(static_cast<int>(log2Size), 8, 16);
  const int bins = n / 2 + 1;
  const FrameRange full = source.fullRange();
  const FrameRange limit = range.value_or(full).clamped(full);
  const int channels = std::max(source.channelCount(), 1);

  NoiseProfile profile{n, source.sampleRate(), std::vector<float>(static_cast<size_t>(bins), 0.0f)};
  std::unique_ptr<RealFFT> fft = limit.isEmpty() ? nullptr : RealFFT::make(n);
  if (!fft) return profile;

  const std::vector<float> window = coefficients(WindowFunction::hann, n);
  double windowEnergy = 0;
  for (float w : window) windowEnergy += static_cast<double>(w) * w;
  const int64_t hop = n / 4;
  const int64_t length = limit.count();
  const int64_t frames = length > n ? 1 + (length - n) / hop : 1;

  ChannelBuffers buffers(source.channelCount(), n);
  std::vector<float> windowed(static_cast<size_t>(n)), real(static_cast<size_t>(n / 2)), imag(real.size());
  std::vector<double> sum(static_cast<size_t>(bins), 0.0);
  for (int64_t f = 0; f < frames; ++f) {
    const int64_t start = limit.lowerBound + f * hop;
    buffers.readZeroPadded(source, {start, start + n}, limit);
    for (int c = 0; c < buffers.channelCount(); ++c) {
      const float* samples = buffers.channel(c);
      for (int i = 0; i < n; ++i) windowed[static_cast<size_t>(i)] = samples[i] * window[static_cast<size_t>(i)];
      fft->forward(windowed.data(), real.data(), imag.data());
      sum[0] += static_cast<double>(real[0]) * real[0];
      sum[static_cast<size_t>(n / 2)] += static_cast<double>(imag[0]) * imag[0];
      for (size_t k = 1; k < real.size(); ++k)
        sum[k] += static_cast<double>(real[k]) * real[k] + static_cast<double>(imag[k]) * imag[k];
    }
  }
  const double scale = 4 * windowEnergy * static_cast<double>(frames) * channels;
  for (size_t k = 0; k < sum.size(); ++k) profile.binPower[k] = static_cast<float>(sum[k] / scale);
  return profile;
}

} // namespace quar
