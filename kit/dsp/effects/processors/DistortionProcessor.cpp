#include "dsp/effects/processors/DistortionProcessor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <variant>

#include "base/Decibels.h"
#include "dsp/effects/tone/ToneBiquads.h"

namespace quar {

namespace {

constexpr double glideSeconds = 0.02;
constexpr double fadeSeconds = 0.02;
constexpr int glideChunk = 32;
constexpr double snapDistance = 1e-6;

// One glide step toward `target` with retention `c`, landing on the target once within 1e-6.
double glide(double current, double target, double c) {
  const double next = target + c * (current - target);
  return std::abs(next - target) < snapDistance ? target : next;
}

void shape(SaturationMode mode, float* samples, int count) {
  switch (mode) {
  case SaturationMode::soft:
    for (int j = 0; j < count; ++j) samples[j] = std::tanh(samples[j]);
    break;
  case SaturationMode::tube:
    // tanh(x + 0.3) rescaled and shifted so that y(0) = 0 and y'(0) = 1.
    for (int j = 0; j < count; ++j) samples[j] = std::tanh(samples[j] + 0.3f) * 1.0927327f - 0.31832683f;
    break;
  case SaturationMode::hard:
    for (int j = 0; j < count; ++j) samples[j] = std::clamp(samples[j], -1.0f, 1.0f);
    break;
  case SaturationMode::bitcrush:
    break;
  }
}

} // namespace

DistortionProcessor::DistortionProcessor() {
  crushPhase_.fill(std::numeric_limits<double>::max());
  snapToTarget();
}

float DistortionProcessor::crushLevels(double bits) {
  if (!std::isfinite(bits)) bits = DistortionSettings().bits;
  const double exponent = bits <= 1 ? 0 : std::min(bits, 24.0) - 1;
  return static_cast<float>(std::pow(2.0, exponent));
}

void DistortionProcessor::crush(const float* input, float* output, int count, double gain0, double gainStep,
                                float levels, double factor, float& hold, double& phase) {
  for (int i = 0; i < count; ++i) {
    phase += 1;
    if (phase >= factor) {
      phase -= factor;
      if (phase >= factor) phase = 0;
      const double gain = gain0 + (i + 1) * gainStep;
      const float driven = std::clamp(static_cast<float>(gain * input[i]), -1.0f, 1.0f);
      hold = std::isnan(driven) ? 0.0f : std::round(levels * driven) / levels;
    }
    output[i] = hold;
  }
}

double DistortionProcessor::driveTarget() const { return std::clamp(target_.driveDB, -24.0, 60.0); }
double DistortionProcessor::outputTarget() const { return std::clamp(target_.outputDB, -96.0, 24.0); }
double DistortionProcessor::mixTarget() const { return std::clamp(target_.mix, 0.0, 1.0); }
double DistortionProcessor::toneTarget() const {
  return std::log(std::min(0.45 * sampleRate_, std::max(target_.toneHz, 20.0)));
}

void DistortionProcessor::snapToTarget() {
  driveDB_ = driveTarget();
  outputDB_ = outputTarget();
  mix_ = mixTarget();
  toneLogHz_ = toneTarget();
  tone_ = ToneBiquads::lowPass(std::exp(toneLogHz_), sampleRate_);
  mode_ = target_.mode;
  previousMode_ = target_.mode;
  fade_ = 1;
}

void DistortionProcessor::apply(const EffectSettings& settings) {
  const auto* payload = std::get_if<DistortionSettings>(&settings);
  if (!payload) return;
  DistortionSettings given = *payload;
  // A drive or output that is not finite counts as 0 dB, such a tone as 20 kHz.
  if (!std::isfinite(given.driveDB)) given.driveDB = 0;
  if (!std::isfinite(given.outputDB)) given.outputDB = 0;
  if (!std::isfinite(given.toneHz)) given.toneHz = 20000;
  target_ = withFiniteFields(given);
  crushLevels_ = crushLevels(target_.bits);
  crushFactor_ = std::clamp(target_.downsample, 1.0, 256.0);
  if (!prepared_) snapToTarget();
}

void DistortionProcessor::prepare(double sampleRate, int channelCount, int maxFrames) {
  const int requested = std::max(channelCount, 1);
  channelCount_ = std::min(requested, maxChannels);
  passThroughCount_ = requested - channelCount_;
  maxFrames_ = std::max(maxFrames, 1);
  sampleRate_ = preparedSampleRate(sampleRate);

  const auto channels = static_cast<size_t>(channelCount_);
  const auto frames = static_cast<size_t>(maxFrames_);
  oversamplers_.clear();
  for (int c = 0; c < channelCount_; ++c) oversamplers_.push_back(std::make_unique<Oversampler4x>(maxFrames_));
  dryLine_.assign(channels * latency, 0.0f);
  dryBuffer_.assign(channels * frames, 0.0f);
  wetBuffer_.assign(channels * frames, 0.0f);
  altWet_.assign(frames, 0.0f);
  altOS_.assign(4 * frames, 0.0f);
  passThroughLine_.assign(static_cast<size_t>(passThroughCount_) * latency, 0.0f);
  dcRetention_ = std::exp(-10 * std::numbers::pi / sampleRate_);
  prepared_ = true;
  reset();
}

void DistortionProcessor::reset() {
  for (auto& oversampler : oversamplers_) oversampler->clear();
  std::fill(dryLine_.begin(), dryLine_.end(), 0.0f);
  std::fill(passThroughLine_.begin(), passThroughLine_.end(), 0.0f);
  passThroughPos_ = 0;
  dryPos_.fill(0);
  crushHold_.fill(0);
  crushPhase_.fill(std::numeric_limits<double>::max());
  filterState_.fill(0);
  snapToTarget();
}

void DistortionProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!prepared_ || frameCount < 1) return;
  const int n = std::min(channelCount_, channelCount);
  for (int offset = 0; offset < frameCount; offset += maxFrames_)
    processBlock(channels, n, offset, std::min(maxFrames_, frameCount - offset));
  delayPassThrough(channels, channelCount, frameCount);
}

void DistortionProcessor::delayPassThrough(float* const* channels, int channelCount, int frameCount) {
  const int count = std::min(passThroughCount_, channelCount - channelCount_);
  if (count <= 0) return;
  int pos = passThroughPos_;
  for (int c = 0; c < count; ++c) {
    float* samples = channels[channelCount_ + c];
    float* line = passThroughLine_.data() + static_cast<size_t>(c) * latency;
    pos = passThroughPos_;
    for (int i = 0; i < frameCount; ++i) {
      std::swap(samples[i], line[pos]);
      pos = pos + 1 == latency ? 0 : pos + 1;
    }
  }
  passThroughPos_ = pos;
}

void DistortionProcessor::processBlock(float* const* channels, int channelCount, int offset, int n) {
  const double blocksPerSecond = sampleRate_ / n;
  const double c = blocksPerSecond > 0 ? std::exp(-1 / (blocksPerSecond * glideSeconds)) : 0;

  if (fade_ >= 1 && target_.mode != mode_) {
    if (target_.mode != SaturationMode::bitcrush && mode_ == SaturationMode::bitcrush)
      for (auto& oversampler : oversamplers_) oversampler->clear();
    previousMode_ = mode_;
    mode_ = target_.mode;
    fade_ = 0;
  }

  const bool fading = fade_ < 1;
  bool runShaper = true;
  bool runCrusher = false;
  bool shaperFade = false;
  SaturationMode shaperMode = mode_;
  if (mode_ == SaturationMode::bitcrush) {
    runCrusher = true;
    runShaper = fading && previousMode_ != SaturationMode::bitcrush;
    shaperMode = previousMode_;
  } else {
    shaperFade = fading && previousMode_ != mode_ && previousMode_ != SaturationMode::bitcrush;
    runCrusher = fading && previousMode_ == SaturationMode::bitcrush;
  }

  const double oldDrive = driveDB_;
  driveDB_ = glide(driveDB_, driveTarget(), c);
  const double g0 = Decibels::toLinear(oldDrive);
  const double driveStep = (Decibels::toLinear(driveDB_) - g0) / n;

  const double newFade = std::min(fade_ + n / (sampleRate_ * fadeSeconds), 1.0);
  const double fadeDelta = newFade - fade_;

  const auto frames = static_cast<size_t>(maxFrames_);
  for (int ch = 0; ch < channelCount; ++ch) {
    const float* input = channels[ch] + offset;
    float* dry = dryBuffer_.data() + ch * frames;
    float* wet = wetBuffer_.data() + ch * frames;

    float* line = dryLine_.data() + static_cast<size_t>(ch) * latency;
    int pos = dryPos_[static_cast<size_t>(ch)];
    for (int i = 0; i < n; ++i) {
      dry[i] = line[pos];
      line[pos] = input[i];
      pos = pos + 1 == latency ? 0 : pos + 1;
    }
    dryPos_[static_cast<size_t>(ch)] = pos;

    if (runShaper) {
      Oversampler4x& oversampler = *oversamplers_[static_cast<size_t>(ch)];
      float* up = oversampler.input();
      // A non-finite sample reaches the dry signal only: in the filters' state it would never decay.
      for (int i = 0; i < n; ++i)
        up[i] = std::isfinite(input[i]) ? static_cast<float>((g0 + i * driveStep) * input[i]) : 0.0f;
      oversampler.upsample(n);
      float* os = oversampler.signal();
      const int count = 4 * n;
      if (shaperFade) {
        std::copy_n(os, count, altOS_.data());
        shape(previousMode_, altOS_.data(), count);
        shape(mode_, os, count);
        for (int j = 0; j < count; ++j) {
          const double weight = fade_ + j * fadeDelta / count;
          os[j] = static_cast<float>(altOS_[static_cast<size_t>(j)] + (os[j] - altOS_[static_cast<size_t>(j)]) * weight);
        }
      } else {
        shape(shaperMode, os, count);
      }
      oversampler.downsample(n, wet);
    }

    if (runCrusher) {
      float* crushed = runShaper ? altWet_.data() : wet;
      crush(dry, crushed, n, g0, driveStep, crushLevels_, crushFactor_, crushHold_[static_cast<size_t>(ch)],
            crushPhase_[static_cast<size_t>(ch)]);
      if (runShaper) {
        for (int i = 0; i < n; ++i) {
          const double a = fade_ + (i + 1) * fadeDelta / n;
          wet[i] = mode_ == SaturationMode::bitcrush ? static_cast<float>(wet[i] + (crushed[i] - wet[i]) * a)
                                                     : static_cast<float>(crushed[i] + (wet[i] - crushed[i]) * a);
        }
      }
    }
  }

  fade_ = newFade;
  mixAndFilter(channels, channelCount, offset, n);
}

void DistortionProcessor::mixAndFilter(float* const* channels, int channelCount, int offset, int n) {
  const auto frames = static_cast<size_t>(maxFrames_);
  const double toneT = toneTarget();
  const double outputT = outputTarget();
  const double mixT = mixTarget();
  int start = 0;
  while (start < n) {
    const bool gliding = toneLogHz_ != toneT || outputDB_ != outputT || mix_ != mixT;
    const int length = gliding ? std::min(glideChunk, n - start) : n - start;
    const double c = std::exp(-1 / ((sampleRate_ / length) * glideSeconds));

    const double newTone = glide(toneLogHz_, toneT, c);
    const double newOutput = glide(outputDB_, outputT, c);
    const double newMix = glide(mix_, mixT, c);
    const BiquadCoefficients from = tone_;
    const BiquadCoefficients to = newTone == toneLogHz_ ? tone_ : ToneBiquads::lowPass(std::exp(newTone), sampleRate_);
    const double gain0 = Decibels::toLinear(outputDB_);
    const double gain1 = Decibels::toLinear(newOutput);

    for (int ch = 0; ch < channelCount; ++ch) {
      const float* wet = wetBuffer_.data() + ch * frames + start;
      const float* dry = dryBuffer_.data() + ch * frames + start;
      float* out = channels[ch] + offset + start;
      double* state = filterState_.data() + 4 * ch;
      double previous = state[0], u = state[1], s1 = state[2], s2 = state[3];
      for (int i = 0; i < length; ++i) {
        const double f = static_cast<double>(i + 1) / length;
        const double b0 = from.b0 + f * (to.b0 - from.b0);
        const double b1 = from.b1 + f * (to.b1 - from.b1);
        const double b2 = from.b2 + f * (to.b2 - from.b2);
        const double a1 = from.a1 + f * (to.a1 - from.a1);
        const double a2 = from.a2 + f * (to.a2 - from.a2);
        const double x = wet[i];
        u = dcRetention_ * u + (x - previous);
        previous = x;
        const double y = s1 + b0 * u;
        s1 = s2 + b1 * u - a1 * y;
        s2 = b2 * u - a2 * y;
        const double gain = gain0 + f * (gain1 - gain0);
        const double m = mix_ + f * (newMix - mix_);
        out[i] = static_cast<float>(dry[i] * (1 - m) + m * (gain * y));
      }
      state[0] = previous;
      state[1] = u;
      state[2] = s1;
      state[3] = s2;
    }

    tone_ = to;
    toneLogHz_ = newTone;
    outputDB_ = newOutput;
    mix_ = newMix;
    start += length;
  }
}

} // namespace quar
