#include "dsp/effects/processors/GateProcessor.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/Numbers.h"
#include "dsp/ScopedFlushToZero.h"

namespace quar {

namespace {

// Whole frames in `frames`, saturating far beyond any real hold time instead of overflowing.
int64_t wholeFrames(double frames) { return static_cast<int64_t>(std::min(frames, 0x1p62)); }

double smoothstep(double p) { return p * p * (3 - 2 * p); }

// The detector's level of a sample; one that is not finite counts as silence (an infinite
// envelope would decay to itself and hold the gate open for good).
float level(float sample) { return std::isfinite(sample) ? std::abs(sample) : 0.0f; }

} // namespace

GateProcessor::GateProcessor() {
  updateDerived();
  range_ = targetRange_;
}

void GateProcessor::apply(const EffectSettings& settings) {
  const auto* gate = std::get_if<GateSettings>(&settings);
  if (!gate) return;
  GateSettings given = *gate;
  // A hysteresis or hold that is not finite counts as none, not as its default.
  if (!std::isfinite(given.hysteresisDB)) given.hysteresisDB = 0;
  if (!std::isfinite(given.holdMs)) given.holdMs = 0;
  settings_ = withFiniteFields(given);
  updateDerived();
  if (!prepared_) range_ = targetRange_;
}

void GateProcessor::prepare(double sampleRate, int channelCount, int maxFrames) {
  channelCount_ = clamped(channelCount, 1, maxChannels);
  maxFrames_ = std::max(maxFrames, 1);
  gains_.assign(static_cast<size_t>(channelCount_) * maxFrames_, 1.0f);
  sampleRate_ = preparedSampleRate(sampleRate);
  prepared_ = true;
  updateDerived();
  reset();
}

void GateProcessor::reset() {
  envelope_.fill(0);
  envelopeHold_.fill(0);
  isOpen_.fill(false);
  holdLeft_.fill(0);
  position_.fill(0);
  range_ = targetRange_;
  publish(range_);
}

float GateProcessor::gainReductionDB() const {
  return std::bit_cast<float>(reductionBits_.load(std::memory_order_relaxed));
}

void GateProcessor::updateDerived() {
  const double sr = sampleRate_;
  const double threshold = settings_.thresholdDB;
  const double hysteresis = std::max(settings_.hysteresisDB, 0.0);
  openLevel_ = static_cast<float>(std::pow(10.0, threshold / 20));
  closeLevel_ = static_cast<float>(std::pow(10.0, (threshold - hysteresis) / 20));
  holdFrames_ = wholeFrames(sr * std::max(settings_.holdMs, 0.0) / 1000);
  const double attackSeconds = std::max(settings_.attackMs, 0.0) / 1000;
  const double releaseSeconds = std::max(settings_.releaseMs, 0.0) / 1000;
  attackStep_ = 1 / std::max(attackSeconds * sr, 1.0);
  releaseStep_ = 1 / std::max(releaseSeconds * sr, 1.0);
  targetRange_ = std::min(std::pow(10.0, std::min(settings_.rangeDB, 0.0) / 20), 1.0);
  detectorHoldFrames_ = wholeFrames(0.02 * sr);
  rangeRetention_ = sr > 0 ? std::exp(-1 / (0.01 * sr)) : 0.0;
  detectorDecay_ = static_cast<float>(rangeRetention_);
}

void GateProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!prepared_ || gains_.empty() || frameCount <= 0) return;
  const int c = std::min(channelCount_, channelCount);
  if (c < 1) return;
  ScopedFlushToZero flushToZero;
  for (int offset = 0; offset < frameCount; offset += maxFrames_)
    processBlock(channels, c, offset, std::min(maxFrames_, frameCount - offset));
}

// Carries the detector state over when the link is switched: unlinked channels start from the
// shared detector; a linked detector starts from the loudest and most open channel.
void GateProcessor::changeLinking(bool linked, int c) {
  if (!linked) {
    for (int k = 1; k < c; ++k) {
      envelope_[k] = envelope_[0];
      envelopeHold_[k] = envelopeHold_[0];
      isOpen_[k] = isOpen_[0];
      holdLeft_[k] = holdLeft_[0];
    }
    return;
  }
  for (int k = 1; k < c; ++k) {
    envelope_[0] = std::max(envelope_[0], envelope_[k]);
    envelopeHold_[0] = std::max(envelopeHold_[0], envelopeHold_[k]);
    isOpen_[0] = isOpen_[0] || isOpen_[k];
    holdLeft_[0] = std::max(holdLeft_[0], holdLeft_[k]);
  }
}

void GateProcessor::processBlock(float* const* channels, int c, int offset, int n) {
  const bool linked = settings_.stereoLink && c > 1;
  if (linked != wasLinked_) changeLinking(linked, c);
  wasLinked_ = linked;

  bool onePosition = linked;
  for (int k = 1; k < c && onePosition; ++k) onePosition = position_[k] == position_[0];
  const int detectors = linked ? 1 : c;
  const bool allPositions = linked && !onePosition;  // one detector drives every channel's position

  double range = range_;
  double lowestGain = 1;
  for (int d = 0; d < detectors; ++d) {
    float env = envelope_[d];
    int64_t envHold = envelopeHold_[d];
    bool open = isOpen_[d];
    int64_t holdLeft = holdLeft_[d];
    const int firstPosition = allPositions ? 0 : d;
    const int endPosition = allPositions ? c : d + 1;
    double r = range_;
    for (int i = 0; i < n; ++i) {
      float x = level(channels[d][offset + i]);
      if (linked)
        for (int k = 1; k < c; ++k) x = std::max(x, level(channels[k][offset + i]));

      if (x >= env) {
        env = x;
        envHold = detectorHoldFrames_;
      } else if (envHold > 0) {
        --envHold;
      } else {
        env *= detectorDecay_;
      }

      bool up;
      if (env >= openLevel_) {
        open = true;
        holdLeft = holdFrames_;
        up = true;
      } else if (!open) {
        up = false;
      } else if (env >= closeLevel_) {
        holdLeft = holdFrames_;
        up = true;
      } else if (holdLeft > 0) {
        --holdLeft;
        up = true;
      } else {
        open = false;
        up = false;
      }

      r = targetRange_ + rangeRetention_ * (r - targetRange_);
      for (int p = firstPosition; p < endPosition; ++p) {
        double& position = position_[p];
        position = up ? std::min(position + attackStep_, 1.0) : std::max(position - releaseStep_, 0.0);
        const double gain = r + (1 - r) * smoothstep(position);
        gains_[static_cast<size_t>(p) * maxFrames_ + i] = static_cast<float>(gain);
        if (allPositions || i == n - 1) lowestGain = std::min(lowestGain, gain);
      }
    }
    envelope_[d] = env;
    envelopeHold_[d] = envHold;
    isOpen_[d] = open;
    holdLeft_[d] = holdLeft;
    range = r;
  }

  range_ = std::abs(range - targetRange_) < 1e-9 ? targetRange_ : range;
  if (linked && onePosition) std::fill(position_.begin() + 1, position_.begin() + c, position_[0]);
  publish(lowestGain);

  for (int ch = 0; ch < c; ++ch) {
    const float* gains = gains_.data() + static_cast<size_t>(linked && onePosition ? 0 : ch) * maxFrames_;
    float* samples = channels[ch] + offset;
    for (int i = 0; i < n; ++i) samples[i] *= gains[i];
  }
}

void GateProcessor::publish(double gain) {
  const double reduction = 0.0 - 20 * std::log10(std::max(gain, 1e-10));
  reductionBits_.store(std::bit_cast<uint32_t>(static_cast<float>(reduction)), std::memory_order_relaxed);
}

} // namespace quar
