#include "dsp/effects/processors/ChorusProcessor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/FiniteSample.h"
#include "base/Numbers.h"

namespace quar {

namespace {

constexpr std::array<double, 4> voicePhase{0, 0.5, 0.25, 0.75};
constexpr std::array<float, 4> voiceFactor{1.0f, 1.13f, 0.87f, 1.27f};

} // namespace

ChorusProcessor::ChorusProcessor() = default;

ChorusProcessor::Targets ChorusProcessor::targets() const {
  Targets t{};
  t.baseMs = clamped(settings_.delayMs, 0.5, 40.0);
  const double depth = clamped(settings_.depth, 0.0, 1.0);
  if (settings_.mode == ModulationMode::flanger) {
    t.sweep = 0.95 * depth;
    t.gains = {1, 0, 0, 0};
  } else {
    t.sweep = depth * std::min(5 / t.baseMs, 0.5);
    const int64_t voices = clamped<int64_t>(settings_.voices, 1, 4);
    for (int64_t v = 0; v < voices; ++v) t.gains[static_cast<size_t>(v)] = 1.0f / static_cast<float>(voices);
  }
  t.spread = clamped(settings_.stereoSpread, 0.0, 1.0);
  t.feedback = static_cast<float>(clamped(settings_.feedback, -0.95, 0.95));
  t.mix = static_cast<float>(clamped(settings_.mix, 0.0, 1.0));
  return t;
}

ChorusProcessor::Voices ChorusProcessor::voiceDelays(int channel) const {
  const double channelPhase = spread_ * channel / std::max(preparedChannels_, 2);
  const double framesPerMs = sampleRate_ / 1000;
  const double longest = static_cast<double>(lineSize_ - 4);
  Voices delays{};
  for (size_t v = 0; v < 4; ++v) {
    const double lfo = std::sin(2 * std::numbers::pi * (channelPhase + lfoPhase_ + voicePhase[v]));
    const double delay = framesPerMs * baseMs_ * voiceFactor[v] * (1 + sweep_ * lfo);
    delays[v] = static_cast<float>(clamped(delay, 2.5, longest));
  }
  return delays;
}

void ChorusProcessor::apply(const EffectSettings& settings) {
  if (const auto* chorus = std::get_if<ChorusSettings>(&settings)) settings_ = withFiniteFields(*chorus);
}

void ChorusProcessor::prepare(double requestedRate, int channelCount, int /*maxFrames*/) {
  const double sampleRate = preparedSampleRate(requestedRate);
  sampleRate_ = sampleRate;
  preparedChannels_ = std::max(channelCount, 1);
  lineSize_ = spacePowerOfTwo(checkedInt(0.1 * sampleRate) + 8);
  storage_ = SpaceStorage<float>(lineSize_ * preparedChannels_, 0.0f);
  delayStart_ = SpaceStorage<Voices>(preparedChannels_, Voices{});
  delayEnd_ = SpaceStorage<Voices>(preparedChannels_, Voices{});
  tickCoefficient_ = spaceTickCoefficient(0.05, sampleRate);
  isPrepared_ = true;
  reset();
}

void ChorusProcessor::reset() {
  if (!isPrepared_) return;
  storage_.clear();
  lfoPhase_ = 0;
  writeIndex_ = 0;
  controlPhase_ = 0;
  const Targets t = targets();
  baseMs_ = t.baseMs;
  sweep_ = t.sweep;
  spread_ = t.spread;
  voiceGains_ = gainStart_ = gainEnd_ = t.gains;
  activeVoices_ = 1;
  for (size_t v = 1; v < 4; ++v)
    if (t.gains[v] > 1e-6f) activeVoices_ = static_cast<int>(v) + 1;
  feedback_.reset(t.feedback);
  mix_.reset(t.mix);
  for (int ch = 0; ch < preparedChannels_; ++ch) delayStart_[ch] = delayEnd_[ch] = voiceDelays(ch);
}

void ChorusProcessor::controlTick() {
  const Targets t = targets();
  const double c = tickCoefficient_;
  sweep_ += (t.sweep - sweep_) * c;
  baseMs_ += (t.baseMs - baseMs_) * c;
  spread_ += (t.spread - spread_) * c;
  const auto cf = static_cast<float>(c);
  for (size_t v = 0; v < 4; ++v) voiceGains_[v] += (t.gains[v] - voiceGains_[v]) * cf;
  feedback_.advance(t.feedback, cf);
  mix_.advance(t.mix, cf);

  const double rate = clamped(settings_.rateHz, 0.05, 10.0);
  lfoPhase_ += rate * 32 / sampleRate_;
  lfoPhase_ -= std::floor(lfoPhase_);

  gainStart_ = gainEnd_;
  gainEnd_ = voiceGains_;
  activeVoices_ = 1;
  for (size_t v = 1; v < 4; ++v)
    if (gainStart_[v] > 1e-6f || gainEnd_[v] > 1e-6f) activeVoices_ = static_cast<int>(v) + 1;

  for (int ch = 0; ch < preparedChannels_; ++ch) {
    delayStart_[ch] = delayEnd_[ch];
    delayEnd_[ch] = voiceDelays(ch);
  }
}

void ChorusProcessor::processChannel(int channel, float* samples, int frames) {
  float* line = storage_.pointer() + lineSize_ * channel;
  const int64_t mask = lineSize_ - 1;
  const Voices& delayStart = delayStart_[channel];
  const Voices& delayEnd = delayEnd_[channel];
  for (int n = 0; n < frames; ++n) {
    const int p = controlPhase_ + n;
    const int64_t w = writeIndex_ + n;
    const float position = 0.03125f * static_cast<float>(p);
    float wet = 0;
    for (size_t v = 0; v < static_cast<size_t>(activeVoices_); ++v) {
      const float delay = delayStart[v] + (delayEnd[v] - delayStart[v]) * position;
      const float gain = gainStart_[v] + (gainEnd_[v] - gainStart_[v]) * position;
      wet += gain * spaceCubicRead(line, mask, w, delay);
    }
    const float x = samples[n];
    line[w & mask] = spaceSoftClip(finiteOrZero(x) + feedback_.value(p) * wet);
    samples[n] = x + mix_.value(p) * (wet - x);
  }
}

void ChorusProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!isPrepared_ || frameCount <= 0) return;
  const int count = std::min(preparedChannels_, channelCount);
  int done = 0;
  while (done < frameCount) {
    if (controlPhase_ == 0) controlTick();
    const int length = std::min(32 - controlPhase_, frameCount - done);
    for (int ch = 0; ch < count; ++ch) processChannel(ch, channels[ch] + done, length);
    writeIndex_ += length;
    controlPhase_ = (controlPhase_ + length) % 32;
    done += length;
  }
}

int64_t ChorusProcessor::tailFrames() const {
  const Targets t = targets();
  const double f = std::fabs(clamped(settings_.feedback, -0.95, 0.95));
  const int64_t repeats = f > 0.001 ? static_cast<int64_t>(-3 / std::log10(f)) + 1 : 1;
  const double seconds =
      std::min(t.baseMs * 1.27 * (t.sweep + 1) / 1000 * static_cast<double>(repeats) + 0.01, 30.0);
  return static_cast<int64_t>(sampleRate_ * seconds);
}

} // namespace quar
