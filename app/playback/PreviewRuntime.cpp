#include "playback/PreviewRuntime.h"

#include <algorithm>

#include "base/Precondition.h"

PreviewRuntime::PreviewRuntime(std::vector<std::shared_ptr<quar::EffectProcessor>> processors, std::vector<bool> enabled,
                               int channelCount, int maxFrames)
    : processors_(std::move(processors)),
      channelCount_(channelCount),
      appliedVersions_(processors_.size(), 0),
      enabled_(std::move(enabled)),
      maxFrames_(maxFrames) {
  QUAR_PRECONDITION(channelCount >= 0, "A preview runtime needs a channel count of at least 0");
  QUAR_PRECONDITION(maxFrames >= 0, "A preview runtime needs a frame limit of at least 0");
  enabled_.resize(processors_.size(), false);
  for (const auto& processor : processors_)
    configurables_.push_back(dynamic_cast<quar::ConfigurableEffect*>(processor.get()));
  processMask_.assign(static_cast<size_t>(channelCount), true);
  dry_.assign(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(maxFrames)));
}

void PreviewRuntime::process(float* const* channels, int channelCount, int frames) {
  if (channelCount != channelCount_ || frames > maxFrames_ || frames <= 0) return;
  bool masked = false;
  for (int c = 0; c < channelCount; ++c) {
    if (processMask_[static_cast<size_t>(c)]) continue;
    std::copy_n(channels[c], frames, dry_[static_cast<size_t>(c)].data());
    masked = true;
  }
  for (size_t i = 0; i < processors_.size(); ++i)
    if (enabled_[i]) processors_[i]->process(channels, channelCount, frames);
  if (!masked) return;
  for (int c = 0; c < channelCount; ++c)
    if (!processMask_[static_cast<size_t>(c)]) std::copy_n(dry_[static_cast<size_t>(c)].data(), frames, channels[c]);
}
