// A click track computed on the fly (any length without memory): a 5 ms decaying 2 kHz burst
// at round(k·beatFrames) for every beat k, louder on the first beat of each bar.
#pragma once

#include <cmath>
#include <algorithm>
#include <numbers>
#include <vector>

#include "base/AudioSource.h"

namespace quar::test {

class ClickTrack final : public AudioSource {
public:
  ClickTrack(double bpm, double sampleRate, int64_t frames, int beatsPerBar = 4)
      : beatFrames_(60 / bpm * sampleRate), sampleRate_(sampleRate), frames_(frames), beatsPerBar_(beatsPerBar) {
    const auto length = static_cast<int64_t>(0.005 * sampleRate);
    for (int64_t i = 0; i < length; ++i)
      burst_.push_back(std::sin(2 * std::numbers::pi * 2000 * static_cast<double>(i) / sampleRate) *
                       (1 - static_cast<double>(i) / static_cast<double>(length)));
  }

  int channelCount() const override { return 1; }
  double sampleRate() const override { return sampleRate_; }
  int64_t frameCount() const override { return frames_; }
  double beatFrames() const { return beatFrames_; }

  void read(FrameRange range, std::span<float* const> destinations) const override {
    const auto burstLength = static_cast<int64_t>(burst_.size());
    for (float* destination : destinations) {
      std::fill_n(destination, range.count(), 0.0f);
      const auto firstBeat = std::max<int64_t>(
          0, static_cast<int64_t>(std::floor(static_cast<double>(range.lowerBound - burstLength) / beatFrames_)));
      for (int64_t k = firstBeat;; ++k) {
        const int64_t start = std::llround(static_cast<double>(k) * beatFrames_);
        if (start >= range.upperBound) break;
        const double level = k % beatsPerBar_ == 0 ? 0.9 : 0.4;
        for (int64_t f = std::max(start, range.lowerBound); f < std::min(start + burstLength, range.upperBound); ++f)
          destination[f - range.lowerBound] = static_cast<float>(level * burst_[static_cast<size_t>(f - start)]);
      }
    }
  }

private:
  double beatFrames_;
  double sampleRate_;
  int64_t frames_;
  int beatsPerBar_;
  std::vector<double> burst_;
};

} // namespace quar::test
