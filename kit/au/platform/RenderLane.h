// RenderLane: one plug-in unit driven offline with all the memory one render call needs
// (deinterleaved float input and output storage, the buffer list handed to the unit, the
// render-action flags, the running time stamp) and the pull block that serves the unit's input.
// Everything is allocated at construction; its user runs render() on one thread at a time, and
// neither render() nor the default pull block allocates or locks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "au/platform/PlatformUnit.h"

namespace quar {

class RenderLane {
  // Declared first: the public slot arrays below point into them.
  std::vector<std::vector<float>> inputBuffers_;
  std::vector<std::vector<float>> outputBuffers_;

public:
  // Sizes the lane from the unit's current frame limit (configure the unit first). The pull
  // block: none when inChannels is 0, `pull` when given, else the lane's own, which serves
  // `input`.
  RenderLane(std::shared_ptr<PlatformUnit> unit, int inChannels, int outChannels,
             std::optional<PullInputBlock> pull = std::nullopt);
  RenderLane(const RenderLane&) = delete;
  RenderLane& operator=(const RenderLane&) = delete;

  const std::shared_ptr<PlatformUnit> unit;
  const int inChannels;  // 0: the unit takes no input
  const int outChannels;
  const int64_t maxFrames;  // the unit's frame limit at construction, at least 1
  // max(inChannels, 1) slots; slot i < inChannels points at maxFrames floats, zero at start.
  const std::vector<float*> input;
  // max(outChannels, 1) slots; slot j < outChannels points at maxFrames floats, zero at start.
  const std::vector<float*> outputStorage;
  // Room for max(outChannels, 1) buffers.
  AudioBufferListStorage outputList;
  AudioUnitRenderActionFlags flags = 0;
  AudioTimeStamp timeStamp;  // mSampleTime counts rendered frames
  const RenderBlock renderBlock;
  const std::optional<PullInputBlock> pullBlock;
  int groupStart = 0;
  int groupSize = 0;

  // The render step for `frames` ([1, maxFrames]): output buffer j gets outputStorage[j], the
  // flags are cleared, the unit renders with the pull block, and the time stamp advances by
  // `frames` whatever the unit answers. Returns the unit's status (0: success).
  AUStatus render(uint32_t frames);
  // Output channel k after a successful render(): the unit's buffer, or outputStorage[k] when
  // the unit left it without data.
  const float* output(int k) const;

private:
  static std::vector<float*> slots(std::vector<std::vector<float>>& storage, int channels, int64_t frames);
  AUStatus pullFromInput(uint32_t frames, AudioBufferList* list) const;
};

} // namespace quar
