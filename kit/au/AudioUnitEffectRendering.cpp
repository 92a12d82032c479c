// The EffectProcessor side of AudioUnitEffect: bus layout choice, instances per channel group,
// lane sets and chunked rendering.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "au/AudioUnitEffect.h"
#include "au/platform/AUFormat.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformError.h"
#include "au/platform/RenderLane.h"
#include "base/Numbers.h"

namespace quar {

namespace {

// The rate as a whole number of hertz (truncated) where it has one.
std::string wholeHertz(double rate) {
  if (std::isfinite(rate) && std::abs(rate) < 9.0e18) return std::to_string(checkedInt(rate));
  return formatDouble(rate);
}

// Seconds to frames where both are finite and the result fits; else 0.
int64_t framesOrZero(double frames) {
  return std::isfinite(frames) && frames > 0 && frames < 9.0e18 ? checkedInt(frames) : 0;
}

} // namespace

class AudioUnitEffect::RenderScope {
public:
  explicit RenderScope(std::atomic<int>& count) : count_(count) { count_.fetch_add(1); }
  ~RenderScope() { count_.fetch_sub(1); }
  RenderScope(const RenderScope&) = delete;
  RenderScope& operator=(const RenderScope&) = delete;

private:
  std::atomic<int>& count_;
};

void AudioUnitEffect::publish(std::unique_ptr<LaneSet> set) {
  LaneSet* published = set.get();
  if (set) {
    set->rewoundAt = resetGeneration_.load();
    sets_.push_back(std::move(set));
  }
  current_.store(published);
  freeReplacedSets();
}

void AudioUnitEffect::freeReplacedSets() {
  // A process() that starts after this check loads the set published before it.
  if (rendering_.load() != 0) return;
  LaneSet* published = current_.load();
  std::erase_if(sets_, [published](const std::unique_ptr<LaneSet>& set) { return set.get() != published; });
}

const std::vector<std::unique_ptr<RenderLane>>& AudioUnitEffect::lanes() const {
  static const std::vector<std::unique_ptr<RenderLane>> none;
  const LaneSet* set = current_.load();
  return set ? set->lanes : none;
}

int64_t AudioUnitEffect::chunkFrames() const {
  const LaneSet* set = current_.load();
  return set ? set->chunkFrames : 0;
}

void AudioUnitEffect::prepare(double sampleRate, int channelCount, int maxFrames) {
  publish(nullptr);
  sampleRate_ = sampleRate;
  failureCount_.store(0);
  const int n = std::max(channelCount, 1);
  const int m = std::max(maxFrames, 1);

  std::vector<std::pair<int, int>> candidates;
  if (unit_->inputBusCount() >= 1) candidates = {{n, n}, {2, 2}, {1, 1}, {1, 2}, {2, 1}};
  else candidates = {{0, n}, {0, 2}, {0, 1}};
  std::set<int64_t> tried;
  std::optional<std::pair<int, int>> accepted;
  std::string refusal;
  for (const auto& [in, out] : candidates) {
    if (!tried.insert(int64_t{in} * 1000 + out).second) continue;
    try {
      AUFormat::configure(*unit_, sampleRate, in, out, m);
      accepted = {in, out};
      break;
    } catch (const QuarError& error) {
      refusal = error.errorDescription();
    } catch (const PlatformError& error) {
      refusal = error.localizedDescription();
    }
  }
  if (!accepted)
    throw QuarError::unsupportedFormat(curlyQuoted(descriptor_.name) + " doesn\u2019t accept " + std::to_string(n) +
                                       "-channel audio at " + wholeHertz(sampleRate) + " Hz. " + refusal);
  const auto [in, out] = *accepted;
  const int groupSize = std::max(in > 0 ? std::min({n, out, in}) : std::min(n, out), 1);
  const int instances = (n + groupSize - 1) / groupSize;
  const size_t needed = static_cast<size_t>(instances - 1);

  std::vector<std::shared_ptr<PlatformUnit>> clones(
      cloneUnits_.begin(), cloneUnits_.begin() + static_cast<std::ptrdiff_t>(std::min(needed, cloneUnits_.size())));
  for (size_t i = needed; i < cloneUnits_.size(); ++i)
    if (cloneUnits_[i]->renderResourcesAllocated()) cloneUnits_[i]->deallocateRenderResources();

  std::optional<Json> state;
  try {
    if (needed > 0) state = unit_->fullState();
  } catch (const PlatformError& error) {
    throw QuarError::encodeFailed(error.localizedDescription());
  }
  while (clones.size() < needed) {
    try {
      clones.push_back(ComponentManager::instantiate(descriptor_.componentDescription(), options_));
    } catch (const PlatformError& error) {
      throw QuarError::codecUnavailable("Couldn\u2019t create an extra instance of " + curlyQuoted(descriptor_.name) +
                                        ": " + error.localizedDescription());
    }
  }
  for (const auto& clone : clones) {
    if (state) clone->setFullState(*state);
    clone->setRenderingOffline(unit_->isRenderingOffline());
    AUFormat::configure(*clone, sampleRate, in, out, m);
  }

  cloneUnits_ = clones;
  {
    std::lock_guard lock(clones_->lock);
    clones_->units.swap(clones);
  }
  clones.clear();  // the replaced list, released outside the lock
  installForwardingIfNeeded();

  auto set = std::make_unique<LaneSet>();
  for (int i = 0; i < instances; ++i) {
    auto lane = std::make_unique<RenderLane>(i == 0 ? unit_ : cloneUnits_[static_cast<size_t>(i - 1)], in, out);
    lane->groupStart = i * groupSize;
    lane->groupSize = std::min(groupSize, n - i * groupSize);
    set->lanes.push_back(std::move(lane));
  }
  set->chunkFrames = (*std::min_element(set->lanes.begin(), set->lanes.end(), [](const auto& a, const auto& b) {
                       return a->maxFrames < b->maxFrames;
                     }))->maxFrames;
  layout_ = {in, out, instances};
  publish(std::move(set));
}

void AudioUnitEffect::process(float* const* channels, int channelCount, int frameCount) {
  const RenderScope scope(rendering_);
  LaneSet* set = current_.load();
  if (!set || set->chunkFrames <= 0 || frameCount <= 0) return;
  if (const uint64_t generation = resetGeneration_.load(); set->rewoundAt != generation) {
    for (const auto& lane : set->lanes) lane->timeStamp.mSampleTime = 0;
    set->rewoundAt = generation;
  }
  for (int64_t offset = 0; offset < frameCount;) {
    const int64_t frames = std::min<int64_t>(set->chunkFrames, frameCount - offset);
    for (const auto& lane : set->lanes)
      if (lane->groupStart + lane->groupSize <= channelCount) renderChunk(*lane, channels, offset, frames);
    offset += frames;
  }
}

void AudioUnitEffect::renderChunk(RenderLane& lane, float* const* channels, int64_t offset, int64_t frames) {
  const size_t bytes = static_cast<size_t>(frames) * sizeof(float);
  for (int i = 0; i < lane.inChannels; ++i)
    std::memcpy(lane.input[static_cast<size_t>(i)], channels[lane.groupStart + i % lane.groupSize] + offset, bytes);
  const AUStatus status = lane.render(static_cast<uint32_t>(frames));
  if (status != auStatus::noErr) {
    lastFailure_.store(status);
    failureCount_.fetch_add(1);
    return;
  }
  for (int j = 0; j < lane.groupSize; ++j) {
    float* destination = channels[lane.groupStart + j] + offset;
    const float* source = lane.output(j);
    if (source != destination) std::memcpy(destination, source, bytes);
    int summed = 1;
    for (int k = j + lane.groupSize; k < lane.outChannels; k += lane.groupSize, ++summed) {
      const float* extra = lane.output(k);
      for (int64_t f = 0; f < frames; ++f) destination[f] += extra[f];
    }
    if (summed > 1) {
      const float scale = 1.0f / static_cast<float>(summed);
      for (int64_t f = 0; f < frames; ++f) destination[f] *= scale;
    }
  }
}

void AudioUnitEffect::reset() {
  const LaneSet* set = current_.load();
  if (set && !set->lanes.empty()) {
    for (const auto& lane : set->lanes) lane->unit->reset();
    resetGeneration_.fetch_add(1);
  } else {
    unit_->reset();
  }
  freeReplacedSets();
}

int64_t AudioUnitEffect::tailFrames() const {
  const double seconds = unit_->tailTime();
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  return framesOrZero(std::ceil(std::min(seconds, 30.0) * sampleRate_));
}

int64_t AudioUnitEffect::latencyFrames() const {
  const double seconds = unit_->latency();
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  return framesOrZero(std::round(seconds * sampleRate_));
}

} // namespace quar
