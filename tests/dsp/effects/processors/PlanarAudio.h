// Planar float audio for driving effect processors in tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "base/EffectProcessor.h"

namespace quar::test {

struct PlanarAudio {
  std::vector<std::vector<float>> channels;

  PlanarAudio(int channelCount, size_t frames) : channels(channelCount, std::vector<float>(frames, 0.0f)) {}

  // Every channel filled with fill(channel, frame).
  static PlanarAudio generate(int channelCount, size_t frames, const std::function<float(int, size_t)>& fill) {
    PlanarAudio audio(channelCount, frames);
    for (int c = 0; c < channelCount; ++c)
      for (size_t i = 0; i < frames; ++i) audio.channels[c][i] = fill(c, i);
    return audio;
  }

  size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
  int channelCount() const { return static_cast<int>(channels.size()); }

  // Runs the processor over frames [start, end) in blocks of `block` frames.
  void process(EffectProcessor& processor, int block, size_t start = 0, size_t end = SIZE_MAX) {
    end = std::min(end, frames());
    std::vector<float*> pointers(channels.size());
    for (size_t offset = start; offset < end; offset += block) {
      for (size_t c = 0; c < channels.size(); ++c) pointers[c] = channels[c].data() + offset;
      processor.process(pointers.data(), channelCount(), static_cast<int>(std::min<size_t>(block, end - offset)));
    }
  }
};

} // namespace quar::test
