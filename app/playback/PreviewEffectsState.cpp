#include "playback/PreviewEffectsState.h"

#include <algorithm>

void PreviewEffectsState::syncRuntime() {
  if (!runtime) return;
  PreviewRuntime& r = *runtime;
  const size_t count = std::min({r.processors_.size(), settings.size(), enabled.size(), versions.size()});
  for (size_t i = 0; i < count; ++i) {
    if (r.appliedVersions_[i] == versions[i]) continue;
    if (settings[i] && r.configurables_[i]) r.configurables_[i]->apply(*settings[i]);
    r.enabled_[i] = enabled[i];
    r.appliedVersions_[i] = versions[i];
  }
  if (!processMask.empty() && processMask.size() == r.processMask_.size())
    std::copy(processMask.begin(), processMask.end(), r.processMask_.begin());
}
