#include "dsp/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "base/Precondition.h"

namespace quar {

namespace {

int checkedFFTSize(int size) {
  QUAR_PRECONDITION(size >= 256 && size <= 65536 && (size & (size - 1)) == 0,
                    "fftSize must be a power of two in 256...65536");
  return size;
}

} // namespace

SpectrumAnalyzer::SpectrumAnalyzer(int fftSize, WindowFunction window)
    : fftSize_(checkedFFTSize(fftSize)), window_(window), fft_(RealFFT::make(fftSize)),
      windowCoefficients_(coefficients(window, fftSize)), frame_(std::make_unique<ChannelBuffers>(2, fftSize)),
      windowed_(static_cast<size_t>(fftSize)), real_(static_cast<size_t>(fftSize / 2)),
      imag_(static_cast<size_t>(fftSize / 2)), power_(static_cast<size_t>(fftSize / 2 + 1)),
      accum_(static_cast<size_t>(fftSize / 2 + 1)) {
  QUAR_PRECONDITION(fft_ != nullptr, "FFT setup failed");
  const double sum = std::accumulate(windowCoefficients_.begin(), windowCoefficients_.end(), 0.0);
  powerScale_ = static_cast<float>(1 / (sum * sum));
}

void SpectrumAnalyzer::accumulateFrame(const AudioSource& source, int64_t start, std::optional<FrameRange> limit) {
  const int channels = source.channelCount();
  if (frame_->channelCount() != channels) frame_ = std::make_unique<ChannelBuffers>(channels, fftSize_);
  frame_->readZeroPadded(source, {start, start + fftSize_}, limit);
  const size_t half = real_.size();
  for (int c = 0; c < channels; ++c) {
    const float* samples = frame_->channel(c);
    for (size_t n = 0; n < windowed_.size(); ++n) windowed_[n] = samples[n] * windowCoefficients_[n];
    fft_->forward(windowed_.data(), real_.data(), imag_.data());
    const float nyquist = imag_[0];
    imag_[0] = 0;
    for (size_t k = 0; k < half; ++k) power_[k] = real_[k] * real_[k] + imag_[k] * imag_[k];
    power_[0] = real_[0] * real_[0] * 0.25f;
    power_[half] = nyquist * nyquist * 0.25f;
    for (size_t k = 0; k < accum_.size(); ++k) accum_[k] += power_[k];
  }
}

std::vector<float> SpectrumAnalyzer::finish(int64_t frames, int channels) {
  const float scale = powerScale_ / static_cast<float>(std::max<int64_t>(frames * channels, 1));
  std::vector<float> result(accum_.size(), floorDB);
  for (size_t k = 0; k < accum_.size(); ++k) {
    const float level = 10 * std::log10(accum_[k] * scale);
    if (level >= floorDB) result[k] = level;
  }
  return result;
}

std::vector<float> SpectrumAnalyzer::spectrum(const AudioSource& source, int64_t frame) {
  std::fill(accum_.begin(), accum_.end(), 0.0f);
  accumulateFrame(source, frame - fftSize_ / 2, std::nullopt);
  return finish(1, source.channelCount());
}

std::vector<float> SpectrumAnalyzer::averagedSpectrum(const AudioSource& source, std::optional<FrameRange> range,
                                                      int maxFrames) {
  const FrameRange full = source.fullRange();
  const FrameRange clampedRange = range.value_or(full).clamped(full);
  std::fill(accum_.begin(), accum_.end(), 0.0f);
  if (clampedRange.isEmpty()) return std::vector<float>(accum_.size(), floorDB);

  const int64_t length = clampedRange.count();
  const int64_t hop = fftSize_ / 2;
  const int64_t available = length > fftSize_ ? (length - fftSize_) / hop + 1 : 1;
  const int64_t wanted = std::max(maxFrames, 1);
  const int64_t count = std::min(wanted, available);
  for (int64_t k = 0; k < count; ++k) {
    int64_t position = k;
    if (available > wanted)
      position = count == 1 ? available / 2
                            : static_cast<int64_t>(std::round(static_cast<double>((available - 1) * k) /
                                                              static_cast<double>(count - 1)));
    accumulateFrame(source, clampedRange.lowerBound + position * hop, clampedRange);
  }
  return finish(count, source.channelCount());
}

} // namespace quar
