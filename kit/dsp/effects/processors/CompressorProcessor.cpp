#include "dsp/effects/processors/CompressorProcessor.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/Numbers.h"
#include "dsp/ScopedFlushToZero.h"

namespace quar {

namespace {

constexpr float dbToLog2 = 0.16609640f;  // log2(10) / 20

double mixOf(const CompressorSettings& settings) { return clamped(settings.mix, 0.0, 1.0); }

// One-pole retention for a time constant in seconds; 0 without a sample rate.
double retention(double sampleRate, double seconds) {
  return sampleRate > 0 ? std::exp(-1 / (sampleRate * seconds)) : 0.0;
}

double secondsOf(double ms) { return ms <= 0.001 ? 1e-6 : ms / 1000; }

// Levels, knee and make-up beyond ±1e6 dB, and ratios beyond 1e6, act as those bounds: far past
// anything a float sample carries (about ±800 dB), and near enough that the static curve and the
// glides stay finite and exact (a knee of 1e308 dB would square to infinity and give NaN).
constexpr double reach = 1e6;

CompressorSettings withinReach(CompressorSettings s) {
  s.thresholdDB = clamped(s.thresholdDB, -reach, reach);
  s.ratio = std::min(s.ratio, reach);
  s.kneeDB = std::min(s.kneeDB, reach);
  s.makeupGainDB = clamped(s.makeupGainDB, -reach, reach);
  return s;
}

// The largest gain applied, as a base-2 logarithm: 2^127 is the largest power of two a float
// holds, so silence times the gain stays 0 instead of 0 × infinity.
constexpr float maxLog2Gain = 127;

} // namespace

void CompressorProcessor::apply(const EffectSettings& settings) {
  const auto* compressor = std::get_if<CompressorSettings>(&settings);
  if (!compressor) return;
  target_ = withinReach(withFiniteFields(*compressor));
  if (!prepared_) {
    current_ = target_;
    makeupDB_ = target_.effectiveMakeupDB();
    mix_ = mixOf(target_);
    return;
  }
  current_.attackMs = target_.attackMs;
  current_.releaseMs = target_.releaseMs;
  current_.autoMakeup = target_.autoMakeup;
  current_.detection = target_.detection;
  current_.stereoLink = target_.stereoLink;
  updateTimeConstants();
}

void CompressorProcessor::prepare(double sampleRate, int channelCount, int maxFrames) {
  channelCount_ = clamped(channelCount, 1, maxChannels);
  maxFrames_ = std::max(maxFrames, 1);
  scratch_.assign(static_cast<size_t>(channelCount_) * maxFrames_, 0.0f);
  mixCurve_.assign(static_cast<size_t>(maxFrames_), 0.0f);
  sampleRate_ = preparedSampleRate(sampleRate);
  prepared_ = true;
  updateTimeConstants();
  reset();
}

void CompressorProcessor::reset() {
  smoothed_.fill(0);
  meanSquare_.fill(0);
  current_ = target_;
  makeupDB_ = target_.effectiveMakeupDB();
  mix_ = mixOf(target_);
  publish(0);
}

float CompressorProcessor::gainReductionDB() const {
  return std::bit_cast<float>(reductionBits_.load(std::memory_order_relaxed));
}

void CompressorProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!prepared_ || scratch_.empty() || frameCount <= 0) return;
  const int c = std::min(channelCount_, channelCount);
  if (c < 1) return;
  ScopedFlushToZero flushToZero;
  for (int offset = 0; offset < frameCount; offset += maxFrames_)
    processBlock(channels, c, offset, std::min(maxFrames_, frameCount - offset));
}

bool CompressorProcessor::isGliding() const {
  return current_.thresholdDB != target_.thresholdDB || current_.ratio != target_.ratio ||
         current_.kneeDB != target_.kneeDB || makeupDB_ != target_.effectiveMakeupDB() || mix_ != mixOf(target_);
}

void CompressorProcessor::updateTimeConstants() {
  attackRetention_ = retention(sampleRate_, secondsOf(target_.attackMs));
  releaseRetention_ = retention(sampleRate_, secondsOf(target_.releaseMs));
  rmsRetention_ = retention(sampleRate_, 0.01);
  glideRetention_ = retention(sampleRate_, 0.02);
}

void CompressorProcessor::processBlock(float* const* channels, int c, int offset, int n) {
  const bool linked = current_.stereoLink && c > 1;
  detect(channels, c, offset, n, linked);

  bool shared = linked;
  for (int k = 1; k < c && shared; ++k) shared = smoothed_[k] == smoothed_[0];
  const int computers = shared ? 1 : c;
  const bool gliding = isGliding();
  const double mixGoal = mixOf(target_);
  const bool mixMoves = gliding && mix_ != mixGoal;
  // From the last to the first: linked computers read the levels in row 0 before it is overwritten.
  for (int g = computers - 1; g >= 0; --g) computeGain(g, n, linked, gliding);

  if (linked) {
    bool agree = true;
    for (int k = 1; k < c && agree; ++k) agree = std::abs(smoothed_[k] - smoothed_[0]) <= 1e-9;
    if (agree || computers == 1) std::fill(smoothed_.begin() + 1, smoothed_.begin() + c, smoothed_[0]);
  }
  if (gliding) {
    const auto settle = [](double glided, double goal, double raw) {
      return std::abs(glided - goal) < 1e-6 ? raw : glided;
    };
    current_.thresholdDB = settle(glidedThreshold_, target_.thresholdDB, target_.thresholdDB);
    current_.ratio = settle(glidedRatio_, std::max(target_.ratio, 1.0), target_.ratio);
    current_.kneeDB = settle(glidedKnee_, std::max(target_.kneeDB, 0.0), target_.kneeDB);
    const double makeupGoal = target_.effectiveMakeupDB();
    makeupDB_ = settle(glidedMakeup_, makeupGoal, makeupGoal);
    mix_ = settle(glidedMix_, mixGoal, mixGoal);
  }
  publish(smoothed_[0]);

  for (int g = 0; g < computers; ++g) {
    float* gains = scratch_.data() + static_cast<size_t>(g) * maxFrames_;
    for (int i = 0; i < n; ++i) gains[i] = std::exp2(std::min(gains[i], maxLog2Gain));
    if (mixMoves) {
      for (int i = 0; i < n; ++i) gains[i] = (gains[i] - 1) * mixCurve_[i] + 1;
    } else if (mix_ != 1) {
      const float wet = static_cast<float>(mix_);
      for (int i = 0; i < n; ++i) gains[i] = gains[i] * wet + (1 - wet);
    }
  }
  for (int ch = 0; ch < c; ++ch) {
    const float* gains = scratch_.data() + static_cast<size_t>(computers == 1 ? 0 : ch) * maxFrames_;
    float* samples = channels[ch] + offset;
    for (int i = 0; i < n; ++i) samples[i] *= gains[i];
  }
}

// Fills the detector rows (one when linked, else one per channel) with levels in dB. A sample
// that is not finite counts as silence, so that it cannot poison the running mean or the gain
// computer (an infinite level gives a gain change of infinity minus infinity).
void CompressorProcessor::detect(float* const* channels, int c, int offset, int n, bool linked) {
  const bool rms = current_.detection == DetectionMode::rms;
  const float floor = rms ? 1e-30f : 1e-15f;
  const float scale = rms ? 3.0103f : 6.0206f;
  for (int ch = 0; ch < c; ++ch) {
    const float* samples = channels[ch] + offset;
    float* row = scratch_.data() + static_cast<size_t>(linked ? 0 : ch) * maxFrames_;
    const bool fold = linked && ch > 0;
    if (rms) {
      const double weight = 1 - rmsRetention_;
      double ms = meanSquare_[ch];
      for (int i = 0; i < n; ++i) {
        const double x = std::isfinite(samples[i]) ? samples[i] : 0.0;
        ms += weight * (x * x - ms);
        const float value = static_cast<float>(ms);
        row[i] = fold ? std::max(row[i], value) : value;
      }
      meanSquare_[ch] = ms;
    } else {
      for (int i = 0; i < n; ++i) {
        const float value = std::isfinite(samples[i]) ? std::abs(samples[i]) : 0.0f;
        row[i] = fold ? std::max(row[i], value) : value;
      }
    }
  }
  for (int r = 0; r < (linked ? 1 : c); ++r) {
    float* row = scratch_.data() + static_cast<size_t>(r) * maxFrames_;
    for (int i = 0; i < n; ++i) row[i] = scale * std::log2(row[i] > floor ? row[i] : floor);
  }
}

// Runs gain computer g over the block: static curve, attack/release smoothing, and writes
// (make-up + gain change) as a base-2 logarithm of gain into row g.
void CompressorProcessor::computeGain(int g, int n, bool linked, bool gliding) {
  const float* levels = scratch_.data() + static_cast<size_t>(linked ? 0 : g) * maxFrames_;
  float* row = scratch_.data() + static_cast<size_t>(g) * maxFrames_;
  const double k = glideRetention_;
  const double thresholdGoal = target_.thresholdDB;
  const double ratioGoal = std::max(target_.ratio, 1.0);
  const double kneeGoal = std::max(target_.kneeDB, 0.0);
  const double makeupGoal = target_.effectiveMakeupDB();
  const double mixGoal = mixOf(target_);
  double threshold = current_.thresholdDB, ratio = current_.ratio, knee = current_.kneeDB;
  double makeup = makeupDB_, mix = mix_;
  double s = smoothed_[g];
  for (int i = 0; i < n; ++i) {
    if (gliding) {
      threshold = thresholdGoal + k * (threshold - thresholdGoal);
      ratio = ratioGoal + k * (ratio - ratioGoal);
      knee = kneeGoal + k * (knee - kneeGoal);
      makeup = makeupGoal + k * (makeup - makeupGoal);
      mix = mixGoal + k * (mix - mixGoal);
    }
    const double level = levels[i];
    const double slope = ratio >= 1 ? 1 / ratio : 1;
    double out;
    if (knee > 0 && std::abs(level - threshold) <= knee / 2) {
      const double over = level - threshold + knee / 2;
      out = level + over * over * (slope - 1) / (2 * knee);
    } else {
      out = level <= threshold ? level : threshold + (level - threshold) * slope;
    }
    const double change = out - level;
    const double r = s <= change ? releaseRetention_ : attackRetention_;
    s = change + (s - change) * r;
    row[i] = static_cast<float>((makeup + s) * dbToLog2);
    if (gliding && g == 0) mixCurve_[i] = static_cast<float>(mix);
  }
  if (std::abs(s) < 1e-12) s = 0;
  smoothed_[g] = s;
  if (gliding) {
    glidedThreshold_ = threshold;
    glidedRatio_ = ratio;
    glidedKnee_ = knee;
    glidedMakeup_ = makeup;
    glidedMix_ = mix;
  }
}

void CompressorProcessor::publish(double smoothedDB) {
  reductionBits_.store(std::bit_cast<uint32_t>(static_cast<float>(0.0 - smoothedDB)), std::memory_order_relaxed);
}

} // namespace quar
