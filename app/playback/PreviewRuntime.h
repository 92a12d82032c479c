// PreviewRuntime: the live effect preview's prepared chain of processors with per-slot enabled
// flags and a per-channel mask, run over each render slice. Built and prepared on the GUI
// thread (the effects rack makes one per rebuild); afterwards only the render thread uses it:
// process() and the state syncRuntime() writes allocate and lock nothing. Frames per slice are
// at most maxFrames; the dry buffers hold maxFrames samples per channel.
#pragma once

#include <memory>
#include <vector>

#include "base/EffectProcessor.h"
#include "dsp/effects/ConfigurableEffect.h"

class PreviewRuntime {
public:
  // Processors prepared for channelCount (>= 0) channels and maxFrames frames, in chain order;
  // `enabled` has one flag per processor. Every applied version starts at 0, the mask all true.
  PreviewRuntime(std::vector<std::shared_ptr<quar::EffectProcessor>> processors, std::vector<bool> enabled,
                 int channelCount, int maxFrames);

  // Render thread. Runs every enabled processor in place over `channels` (channelCount
  // buffers of `frames` samples); masked channels come out as they went in. A channel count
  // other than the runtime's, or more than maxFrames frames, passes the audio unprocessed.
  void process(float* const* channels, int channelCount, int frames);

  const std::vector<std::shared_ptr<quar::EffectProcessor>>& processors() const { return processors_; }
  int channelCount() const { return channelCount_; }
  int maxFrames() const { return maxFrames_; }
  // Render-thread state (written by PreviewEffectsState::syncRuntime).
  const std::vector<bool>& enabled() const { return enabled_; }
  const std::vector<int64_t>& appliedVersions() const { return appliedVersions_; }
  const std::vector<bool>& processMask() const { return processMask_; }

private:
  friend struct PreviewEffectsState;

  std::vector<std::shared_ptr<quar::EffectProcessor>> processors_;
  std::vector<quar::ConfigurableEffect*> configurables_;  // null where a processor takes no settings
  int channelCount_;
  std::vector<int64_t> appliedVersions_;
  std::vector<bool> enabled_;
  std::vector<bool> processMask_;
  std::vector<std::vector<float>> dry_;  // per channel, the dry copy of a masked channel
  int maxFrames_;
};
