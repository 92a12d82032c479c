#include "playback/RenderState.h"

#include <algorithm>
#include <utility>

using quar::FrameRange;

RenderState::RenderState()
    : scratch_(maxChannels, std::vector<float>(RenderSlice::maxFrames)),
      envelopeGains_(RenderSlice::maxFrames),
      envelopeScratch_(RenderSlice::maxFrames) {
  for (auto& buffer : scratch_) scratchPointers_.push_back(buffer.data());
  PlaybackProgram initial;
  initial.envelope = std::make_shared<const quar::EnvelopeSet>();
  current_ = std::make_shared<const Published>(Published{std::move(initial)});
  published_.store(current_.get());
}

void RenderState::publish(PlaybackProgram program, std::optional<int64_t> seek) {
  Published next{std::move(program), current_->seek, current_->seekSerial};
  if (seek) {
    next.seek = *seek;
    ++next.seekSerial;
  }
  std::shared_ptr<const Published> old = std::exchange(current_, std::make_shared<const Published>(std::move(next)));
  published_.store(current_.get());
  retire(std::move(old));
}

void RenderState::render(int64_t frameCount, std::span<float* const> outputs, bool* isSilence) {
  renderCycle(frameCount, outputs, isSilence);
  // Counted only once the cycle reads nothing of the program any more.
  retirement_.cycleCompleted();
}

void RenderState::renderCycle(int64_t frameCount, std::span<float* const> outputs, bool* isSilence) {
  for (float* out : outputs)
    if (out) std::fill_n(out, frameCount, 0.0f);

  const Published& published = *published_.load();
  if (published.seekSerial != takenSeekSerial_.load(std::memory_order_relaxed)) {
    // Cleared before the seek counts as taken: a taken seek never uncovers a stale flag.
    finished.store(false);
    position.store(published.seek, std::memory_order_relaxed);
    takenSeekSerial_.store(published.seekSerial, std::memory_order_release);
    ++seeksTaken_;
  }
  const PlaybackProgram& p = published.program;
  const FrameRange range = p.content ? p.range.clamped({0, p.content->frameCount()}) : FrameRange();
  if (!p.playing || !p.content || range.isEmpty()) {
    *isSilence = true;
    return;
  }
  const int channels = std::min(p.content->channelCount(), maxChannels);

  effects.tryWith([&](PreviewEffectsState& e) {
    if (e.isActive) {
      e.syncRuntime();
      cachedRuntime_ = e.runtime.get();
    } else {
      cachedRuntime_ = nullptr;
    }
    runtimeInUse_.store(cachedRuntime_, std::memory_order_release);
  });

  int64_t pos = position.load(std::memory_order_relaxed);
  int64_t done = 0;
  while (done < frameCount) {
    int64_t start = pos;
    if (!range.contains(pos)) {
      if (!p.loop) {
        finished.store(true, std::memory_order_relaxed);
        break;
      }
      start = range.lowerBound;
    }
    const int64_t n = std::min({frameCount - done, range.upperBound - start, int64_t{RenderSlice::maxFrames}});
    p.content->read({start, start + n}, std::span<float* const>(scratchPointers_.data(), static_cast<size_t>(channels)));
    if (p.envelopeActive) {
      const std::span<float> gains(envelopeGains_.data(), static_cast<size_t>(n));
      const std::span<float> curve(envelopeScratch_.data(), static_cast<size_t>(n));
      for (int c = 0; c < channels; ++c) {
        p.envelope->fillLinearGains(c, {start, start + n}, gains, curve);
        float* samples = scratchPointers_[static_cast<size_t>(c)];
        for (int64_t i = 0; i < n; ++i) samples[i] *= gains[static_cast<size_t>(i)];
      }
    }
    if (cachedRuntime_) cachedRuntime_->process(scratchPointers_.data(), channels, static_cast<int>(n));
    mix(outputs, channels, done, n, p.gain);
    pos = start + n;
    done += n;
  }
  position.store(pos, std::memory_order_relaxed);
}

void RenderState::mix(std::span<float* const> outputs, int channels, int64_t offset, int64_t frames, float gain) {
  const int outs = static_cast<int>(outputs.size());
  if (outs == 0) return;
  auto scaledCopy = [&](int c, float* out) {
    const float* in = scratchPointers_[static_cast<size_t>(c)];
    for (int64_t i = 0; i < frames; ++i) out[offset + i] = in[i] * gain;
  };
  if (outs >= channels) {
    for (int c = 0; c < channels; ++c)
      if (outputs[static_cast<size_t>(c)]) scaledCopy(c, outputs[static_cast<size_t>(c)]);
    // Mono plays on both speakers.
    if (channels == 1 && outs >= 2 && outputs[1]) scaledCopy(0, outputs[1]);
    return;
  }
  const float foldGain = gain / static_cast<float>((channels + outs - 1) / outs);
  for (int c = 0; c < channels; ++c) {
    float* out = outputs[static_cast<size_t>(c % outs)];
    if (!out) continue;
    const float* in = scratchPointers_[static_cast<size_t>(c)];
    for (int64_t i = 0; i < frames; ++i) out[offset + i] += in[i] * foldGain;
  }
}

std::optional<int64_t> RenderState::pendingSeek() const {
  const Published& published = *published_.load();
  if (published.seekSerial == takenSeekSerial_.load(std::memory_order_acquire)) return std::nullopt;
  return published.seek;
}

bool RenderState::isFinished() const {
  if (pendingSeek()) return false;
  return finished.load();
}

void RenderState::publishRuntime(std::shared_ptr<PreviewRuntime> runtime) {
  std::shared_ptr<PreviewRuntime> old = effects.with([&](PreviewEffectsState& e) { return std::exchange(e.runtime, std::move(runtime)); });
  if (old) retire(std::move(old));
}

void RenderState::retire(std::shared_ptr<const void> object) {
  if (streamStopped_) return;
  releaseRetired();
  retirement_.retire(std::move(object));
}

void RenderState::releaseRetired() { retirement_.release(runtimeInUse_.load(std::memory_order_acquire)); }

void RenderState::streamStopped() {
  cachedRuntime_ = nullptr;
  runtimeInUse_.store(nullptr, std::memory_order_release);
  retirement_.clear();
  streamStopped_ = true;
}
