#include "au/platform/Stretcher.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "au/platform/AUFormat.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformError.h"
#include "au/platform/TimePitchComponent.h"
#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
#include "dsp/ScopedFlushToZero.h"

namespace quar {

namespace {

constexpr uint64_t rateAddress = 0, pitchAddress = 1, overlapAddress = 4, peakLockingAddress = 7;

// A new time-pitch unit for `channels` channels, configured for 4096-frame chunks, offline,
// with its parameters set and its state reset.
std::shared_ptr<PlatformUnit> makeUnit(double sampleRate, double rate, double pitchCents, int channels) {
  std::shared_ptr<PlatformUnit> unit;
  try {
    unit = ComponentManager::instantiate(timePitch::description);
  } catch (const PlatformError& error) {
    throw QuarError::codecUnavailable(std::string(timePitch::name) + " isn\u2019t available: " +
                                      error.localizedDescription());
  }
  AUFormat::configure(*unit, sampleRate, channels, channels, Stretcher::maxChunk);
  // Lanes take the unit's limit; every render call asks for up to maxChunk frames.
  if (unit->maximumFramesToRender() < Stretcher::maxChunk)
    throw QuarError::unsupportedFormat(curlyQuoted(unit->audioUnitName().value_or(timePitch::name)) +
                                       " renders at most " + std::to_string(unit->maximumFramesToRender()) +
                                       " frames at a time");
  unit->setRenderingOffline(true);
  if (PlatformParameterTree* tree = unit->parameterTree()) {
    auto set = [tree](uint64_t address, double value) {
      if (tree->parameter(address)) tree->setValue(address, static_cast<float>(value));
    };
    set(rateAddress, rate);
    set(pitchAddress, pitchCents);
    set(peakLockingAddress, 0);
    set(overlapAddress, rate > 2 ? 16 : 8);
  }
  unit->reset();
  return unit;
}

// Runs the lane's render step for `frames`; a failed call throws.
void renderLane(RenderLane& lane, uint32_t frames) {
  if (const AUStatus status = lane.render(frames); status != 0)
    throw QuarError::encodeFailed("Time/pitch rendering failed (status " + std::to_string(status) + ")");
}

void copyFrames(float* to, const float* from, uint32_t frames) {
  if (to != from) std::memcpy(to, from, frames * sizeof(float));
}

} // namespace

void provide(AudioBufferList& list, uint32_t index, const float* from, uint32_t frames) {
  AudioBuffer& buffer = list.mBuffers[index];
  if (!buffer.mData) buffer.mData = const_cast<float*>(from);
  else copyFrames(static_cast<float*>(buffer.mData), from, frames);
  buffer.mDataByteSize = frames * 4;
  buffer.mNumberChannels = 1;
}

SourceFeeder::SourceFeeder(const AudioSource& source, FrameRange range, std::vector<int> channelIndices)
    : source_(source), range_(range), channelIndices_(std::move(channelIndices)),
      scratch_(static_cast<size_t>(source.channelCount()), std::vector<float>(initialCapacity)) {
  for (auto& buffer : scratch_) scratchPointers_.push_back(buffer.data());
}

void SourceFeeder::fill(AudioBufferList& list, uint32_t frames) {
  if (frames > capacity_) {
    capacity_ = frames;
    for (size_t c = 0; c < scratch_.size(); ++c) {
      scratch_[c] = std::vector<float>(frames);
      scratchPointers_[c] = scratch_[c].data();
    }
  }
  const int64_t start = range_.lowerBound + position_;
  const int64_t n = std::max<int64_t>(std::min<int64_t>(frames, range_.upperBound - start), 0);
  if (n > 0) source_.read({start, start + n}, scratchPointers_);
  for (size_t i = 0; i < channelIndices_.size() && i < list.mNumberBuffers; ++i) {
    float* buffer = scratchPointers_[static_cast<size_t>(channelIndices_[i])];
    std::fill(buffer + n, buffer + frames, 0.0f);
    provide(list, static_cast<uint32_t>(i), buffer, frames);
  }
  position_ += frames;
}

ClickFeeder::ClickFeeder(int64_t period_) : period(period_), scratch_(initialCapacity) {}

void ClickFeeder::fill(AudioBufferList& list, uint32_t frames) {
  if (frames > capacity_) {
    capacity_ = frames;
    scratch_ = std::vector<float>(frames);
  }
  std::fill_n(scratch_.begin(), frames, 0.0f);
  const int64_t end = position_ + frames;
  for (int64_t f = std::max(period, (position_ + period - 1) / period * period); f < end; f += period)
    scratch_[static_cast<size_t>(f - position_)] = 1.0f;
  if (list.mNumberBuffers >= 1) provide(list, 0, scratch_.data(), frames);
  position_ += frames;
}

Stretcher::Stretcher(const AudioSource& source, FrameRange range, double rate, double pitchCents,
                     DriftTracker::Mode mode)
    : rate_(rate), channelCount_(source.channelCount()), calibrating_(!mode.knownFrames) {
  const int channels = channelCount_;
  const double sampleRate = source.sampleRate();
  std::vector<std::shared_ptr<PlatformUnit>> units;
  try {
    units.push_back(makeUnit(sampleRate, rate, pitchCents, channels));
    std::vector<int> all(static_cast<size_t>(channels));
    std::iota(all.begin(), all.end(), 0);
    laneChannels_.push_back(std::move(all));
  } catch (...) {
    if (channels <= 1) throw;
    for (int c = 0; c < channels; ++c) {
      units.push_back(makeUnit(sampleRate, rate, pitchCents, 1));
      laneChannels_.push_back({c});
    }
  }
  auto pilotUnit = makeUnit(sampleRate, rate, pitchCents, 1);

  for (size_t i = 0; i < units.size(); ++i) {
    auto feeder = std::make_shared<SourceFeeder>(source, range, laneChannels_[i]);
    const int size = static_cast<int>(laneChannels_[i].size());
    lanes_.push_back(std::make_unique<RenderLane>(
        units[i], size, size,
        PullInputBlock([feeder](AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t frames, int64_t,
                                AudioBufferList* list) {
          feeder->fill(*list, frames);
          return AUStatus{0};
        })));
  }

  const int64_t reportedLatency = roundedInt(sampleRate * pilotUnit->latency());
  tracker_.emplace(rate, sampleRate, mode, reportedLatency);
  auto clicks = std::make_shared<ClickFeeder>(tracker_->period);
  pilot_ = std::make_unique<RenderLane>(pilotUnit, 1, 1,
                                        PullInputBlock([clicks](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                                                uint32_t frames, int64_t, AudioBufferList* list) {
                                          clicks->fill(*list, frames);
                                          return AUStatus{0};
                                        }));

  const auto rateParameter = [](PlatformUnit& unit) -> PlatformParameterTree* {
    PlatformParameterTree* tree = unit.parameterTree();
    return tree && tree->parameter(rateAddress) ? tree : nullptr;
  };
  for (const auto& unit : units)
    if (PlatformParameterTree* tree = rateParameter(*unit)) laneRateParameters_.push_back(tree);
  pilotRateParameter_ = rateParameter(*pilotUnit);
  pilotThread_ = std::thread([this] { runPilot(); });
}

Stretcher::~Stretcher() {
  {
    std::lock_guard lock(pilotMutex_);
    stopping_ = true;
  }
  pilotChanged_.notify_all();
  pilotThread_.join();
}

void Stretcher::runPilot() {
  const ScopedFlushToZero flushToZero;
  int64_t start = 0;
  bool failed = false;
  std::unique_lock lock(pilotMutex_);
  for (;;) {
    pilotChanged_.wait(lock, [&] { return stopping_ || !pilotQueue_.empty(); });
    if (stopping_) return;
    const int64_t frames = pilotQueue_.front();
    lock.unlock();
    std::optional<float> update;
    std::exception_ptr error;
    if (!failed) {
      try {
        renderLane(*pilot_, static_cast<uint32_t>(frames));
        if (tracker_->consume(pilot_->output(0), start, frames)) {
          update = static_cast<float>(rate_ * (1 + tracker_->correction()));
          if (pilotRateParameter_) pilotRateParameter_->setValue(rateAddress, *update);
        }
      } catch (...) {
        error = std::current_exception();
        failed = true;
      }
    }
    start += frames;
    lock.lock();
    pilotQueue_.pop_front();
    ++pilotBlocks_;
    pilotUpdate_ = update;
    if (error) pilotError_ = error;
    pilotChanged_.notify_all();
  }
}

void Stretcher::waitForPilot(std::unique_lock<std::mutex>& lock) const {
  pilotChanged_.wait(lock, [&] { return pilotBlocks_ == queuedBlocks_; });
}

const DriftTracker& Stretcher::tracker() const {
  std::unique_lock lock(pilotMutex_);
  waitForPilot(lock);
  return *tracker_;
}

void Stretcher::finish() {
  std::unique_lock lock(pilotMutex_);
  waitForPilot(lock);
  if (pilotError_) std::rethrow_exception(pilotError_);
}

void Stretcher::render(int64_t frames, std::span<float* const> into) {
  QUAR_PRECONDITION(frames >= 1 && frames <= maxChunk, "Stretcher renders 1...4096 frames at a time");
  QUAR_PRECONDITION(into.size() >= static_cast<size_t>(channelCount_), "Stretcher needs one output per source channel");
  const auto n = static_cast<uint32_t>(frames);
  {
    std::lock_guard lock(pilotMutex_);
    if (pilotError_) std::rethrow_exception(pilotError_);
    pilotQueue_.push_back(frames);
    ++queuedBlocks_;
  }
  pilotChanged_.notify_all();
  parallelFor(static_cast<int64_t>(lanes_.size()), true, [&](int64_t index) {
    const auto i = static_cast<size_t>(index);
    RenderLane& lane = *lanes_[i];
    renderLane(lane, n);
    const auto& group = laneChannels_[i];
    for (size_t k = 0; k < group.size(); ++k)
      copyFrames(into[static_cast<size_t>(group[k])], lane.output(static_cast<int>(k)), n);
  });
  rendered_ += frames;

  // The tracker updates the rate only in a block that closes a click window; until the lanes
  // reach one, the pilot may lag behind them.
  bool closesWindow = false;
  for (; tracker_->windowEnd(nextWindow_) <= rendered_; ++nextWindow_) closesWindow = true;
  if (!closesWindow && !calibrating_) return;
  std::unique_lock lock(pilotMutex_);
  waitForPilot(lock);
  if (pilotError_) std::rethrow_exception(pilotError_);
  if (pilotUpdate_)
    for (PlatformParameterTree* tree : laneRateParameters_) tree->setValue(rateAddress, *pilotUpdate_);
}

} // namespace quar
