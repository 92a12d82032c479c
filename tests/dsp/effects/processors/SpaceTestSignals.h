// Signals and a block runner for the delay, chorus and reverb processor tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "base/EffectProcessor.h"

namespace quar::spacetest {

using Planar = std::vector<std::vector<float>>;

inline Planar silence(int channels, int64_t frames) {
  return Planar(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames), 0.0f));
}

inline Planar impulse(int channels, int64_t frames, float level = 1.0f) {
  Planar signal = silence(channels, frames);
  for (auto& channel : signal) channel[0] = level;
  return signal;
}

// A Hann-windowed 1 kHz burst of two cycles at 48 kHz (96 frames) at the start of every
// channel: short like an impulse, but well inside the pass band of every filter.
inline Planar toneBurst(int channels, int64_t frames) {
  Planar signal = silence(channels, frames);
  for (auto& channel : signal)
    for (size_t n = 0; n < 96; ++n) {
      const double phase = static_cast<double>(n) / 96;
      channel[n] = static_cast<float>(std::sin(4 * M_PI * phase) * 0.5 * (1 - std::cos(2 * M_PI * phase)));
    }
  return signal;
}

// Largest magnitude in [begin, end).
inline float peakIn(const std::vector<float>& samples, int64_t begin, int64_t end) {
  float peak = 0;
  for (int64_t i = begin; i < end; ++i) peak = std::max(peak, std::abs(samples[static_cast<size_t>(i)]));
  return peak;
}

// Independent uniform noise in ±amplitude per channel, reproducible from the seed.
inline Planar noise(int channels, int64_t frames, uint32_t seed = 7, float amplitude = 0.5f) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> distribution(-amplitude, amplitude);
  Planar signal = silence(channels, frames);
  for (auto& channel : signal)
    for (float& sample : channel) sample = distribution(generator);
  return signal;
}

// Processes the whole signal in place in blocks of at most `blockSize` frames.
inline void runBlocks(EffectProcessor& processor, Planar& signal, int blockSize) {
  std::vector<float*> pointers(signal.size());
  const auto frames = static_cast<int64_t>(signal.front().size());
  for (int64_t offset = 0; offset < frames; offset += blockSize) {
    const auto count = static_cast<int>(std::min<int64_t>(blockSize, frames - offset));
    for (size_t ch = 0; ch < signal.size(); ++ch) pointers[ch] = signal[ch].data() + offset;
    processor.process(pointers.data(), static_cast<int>(signal.size()), count);
  }
}

// Index of the largest magnitude in [begin, end).
inline int64_t peakIndex(const std::vector<float>& samples, int64_t begin, int64_t end) {
  int64_t best = begin;
  for (int64_t i = begin; i < end; ++i)
    if (std::abs(samples[static_cast<size_t>(i)]) > std::abs(samples[static_cast<size_t>(best)])) best = i;
  return best;
}

// Index of the first sample whose magnitude exceeds `threshold`, or -1.
inline int64_t firstAbove(const std::vector<float>& samples, float threshold) {
  for (size_t i = 0; i < samples.size(); ++i)
    if (std::abs(samples[i]) > threshold) return static_cast<int64_t>(i);
  return -1;
}

} // namespace quar::spacetest
