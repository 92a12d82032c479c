#include "au/TimePitch.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "au/platform/Stretcher.h"
#include "base/MemoryLimit.h"
#include "base/Numbers.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr size_t enoughClicks = 7;

struct PrimingCache {
  std::mutex mutex;
  std::unordered_map<TimePitch::PrimingKey, int64_t, TimePitch::PrimingKeyHash> frames;
};

PrimingCache& primingCache() {
  static PrimingCache cache;
  return cache;
}

std::optional<int64_t> cachedPriming(const TimePitch::PrimingKey& key) {
  PrimingCache& cache = primingCache();
  std::lock_guard lock(cache.mutex);
  const auto found = cache.frames.find(key);
  if (found == cache.frames.end()) return std::nullopt;
  return found->second;
}

// Runs a calibrating stretcher over one silent frame until enough clicks are measured or a
// minute of output has gone by; the median click delay, else the unit's reported latency.
int64_t measurePriming(double sampleRate, double rate, double pitchCents, const std::function<bool(double)>& progress) {
  const ArraySource silence(std::vector<std::vector<float>>{std::vector<float>{0.0f}}, sampleRate);
  Stretcher stretcher(silence, {0, 1}, rate, pitchCents, DriftTracker::Mode::calibrate());
  std::vector<float> buffer(TimePitch::blockSize);
  float* const into[] = {buffer.data()};
  for (int64_t limit = checkedInt(sampleRate * 60); stretcher.tracker().offsets().size() < enoughClicks && limit >= 1;
       limit -= TimePitch::blockSize) {
    stretcher.render(TimePitch::blockSize, into);
    if (progress && !progress(0)) throw CancellationError();
    if (limit <= TimePitch::blockSize) break;
  }
  std::vector<double> offsets = stretcher.tracker().offsets();
  if (offsets.empty()) return stretcher.tracker().estimate;
  std::sort(offsets.begin(), offsets.end());
  return std::max<int64_t>(0, roundedInt(offsets[offsets.size() / 2]));
}

} // namespace

size_t TimePitch::PrimingKeyHash::operator()(const PrimingKey& key) const {
  size_t seed = 0;
  for (double value : {key.sampleRate, key.rate, key.pitchCents}) {
    const size_t h = std::hash<double>{}(value == 0 ? 0.0 : value);
    seed ^= h + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
  }
  return seed;
}

void TimePitch::validate(double rate, double pitchCents) {
  if (!std::isfinite(rate) || !rateRange.contains(rate))
    throw QuarError::unsupportedFormat("Tempo rate " + formatDouble(rate) + " is outside 0.25...4.0");
  if (!std::isfinite(pitchCents) || !pitchRange.contains(pitchCents))
    throw QuarError::unsupportedFormat("Pitch shift " + formatDouble(pitchCents) +
                                       " cents is outside -2400.0...2400.0");
}

int64_t TimePitch::outputFrameCount(int64_t inputFrames, double rate) {
  return roundedInt(static_cast<double>(inputFrames) / rate);
}

int64_t TimePitch::render(const AudioSource& source, std::optional<FrameRange> range, double rate, double pitchCents,
                          const std::function<bool(double)>& progress,
                          const std::function<void(ChannelViews)>& emit) {
  validate(rate, pitchCents);
  const FrameRange resolved = range.value_or(source.fullRange());
  const int64_t out = outputFrameCount(resolved.count(), rate);
  const int channels = source.channelCount();
  if (out < 1 || channels < 1) return 0;
  requireMemoryForSamples(static_cast<double>(out), channels);

  const int64_t priming = primingFrames(source.sampleRate(), rate, pitchCents, progress);
  Stretcher stretcher(source, resolved, rate, pitchCents, DriftTracker::Mode::known(priming));

  std::vector<std::vector<float>> blocks(static_cast<size_t>(channels), std::vector<float>(blockSize));
  std::vector<float*> into;
  for (auto& block : blocks) into.push_back(block.data());
  std::vector<std::span<const float>> views(static_cast<size_t>(channels));

  const int64_t total = priming + out;
  int64_t produced = 0, emitted = 0;
  while (emitted < out) {
    const int64_t n = std::min(total - produced, blockSize);
    stretcher.render(n, into);
    const int64_t skip = std::max<int64_t>(priming - produced, 0);
    produced += n;
    if (skip < n) {
      const int64_t take = std::min(n - skip, out - emitted);
      for (size_t c = 0; c < views.size(); ++c)
        views[c] = {blocks[c].data() + skip, static_cast<size_t>(take)};
      emit(ChannelViews(views));
      emitted += take;
    }
    if (progress && !progress(static_cast<double>(emitted) / static_cast<double>(out))) throw CancellationError();
  }
  stretcher.finish();
  return emitted;
}

int64_t TimePitch::primingFrames(double sampleRate, double rate, double pitchCents,
                                 const std::function<bool(double)>& progress) {
  const PrimingKey key{sampleRate, rate, pitchCents};
  if (const auto cached = cachedPriming(key)) return *cached;
  const int64_t frames = measurePriming(sampleRate, rate, pitchCents, progress);
  PrimingCache& cache = primingCache();
  std::lock_guard lock(cache.mutex);
  cache.frames[key] = frames;
  return frames;
}

} // namespace quar
