// Signals, block runners and level measurement for the oversampler, saturation and
// noise-reduction tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

#include "base/EffectProcessor.h"

namespace quar::fxtest {

using Planar = std::vector<std::vector<float>>;

// Gaussian white noise of standard deviation `sigma`, reproducible by seed.
inline std::vector<float> whiteNoise(size_t frames, double sigma, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> normal(0.0, sigma);
  std::vector<float> result(frames);
  for (float& sample : result) sample = static_cast<float>(normal(generator));
  return result;
}

inline std::vector<float> sine(size_t frames, double frequency, double sampleRate, double amplitude) {
  std::vector<float> result(frames);
  for (size_t n = 0; n < frames; ++n)
    result[n] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate));
  return result;
}

// Runs `processor` in place over frames [start, end) of every channel in consecutive blocks
// whose sizes cycle through `blocks`.
inline void run(EffectProcessor& processor, Planar& audio, const std::vector<int>& blocks, size_t start = 0,
                size_t end = SIZE_MAX) {
  end = std::min(end, audio.front().size());
  std::vector<float*> pointers(audio.size());
  size_t offset = start;
  for (size_t b = 0; offset < end; ++b) {
    const int count = static_cast<int>(std::min<size_t>(static_cast<size_t>(blocks[b % blocks.size()]), end - offset));
    for (size_t c = 0; c < audio.size(); ++c) pointers[c] = audio[c].data() + offset;
    processor.process(pointers.data(), static_cast<int>(audio.size()), count);
    offset += static_cast<size_t>(count);
  }
}

inline void run(EffectProcessor& processor, std::vector<float>& mono, const std::vector<int>& blocks, size_t start = 0,
                size_t end = SIZE_MAX) {
  Planar audio{std::move(mono)};
  run(processor, audio, blocks, start, end);
  mono = std::move(audio.front());
}

// The complex amplitude of `frequency` in samples [start, start + count): a single DFT bin in
// double, scaled so that a sine of amplitude A reads |A| when count spans whole cycles.
inline std::complex<double> phasor(const std::vector<float>& samples, size_t start, size_t count, double frequency,
                                   double sampleRate) {
  std::complex<double> sum = 0;
  for (size_t n = 0; n < count; ++n) {
    const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate;
    sum += static_cast<double>(samples[start + n]) * std::complex<double>(std::sin(phase), std::cos(phase));
  }
  return sum * (2.0 / static_cast<double>(count));
}

inline double rms(const std::vector<float>& samples, size_t start, size_t count) {
  double sum = 0;
  for (size_t n = start; n < start + count; ++n) sum += static_cast<double>(samples[n]) * samples[n];
  return std::sqrt(sum / static_cast<double>(count));
}

inline double dB(double ratio) { return 20 * std::log10(ratio); }

// The input delayed by `delay` frames (zeros first), same length.
inline std::vector<float> delayed(const std::vector<float>& samples, size_t delay) {
  std::vector<float> result(samples.size(), 0.0f);
  for (size_t n = delay; n < samples.size(); ++n) result[n] = samples[n - delay];
  return result;
}

} // namespace quar::fxtest
