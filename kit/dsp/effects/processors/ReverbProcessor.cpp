#include "dsp/effects/processors/ReverbProcessor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "base/FiniteSample.h"
#include "base/Numbers.h"

namespace quar {

namespace {

constexpr double filterQ = 0.707;
constexpr double twoPi = 2 * std::numbers::pi;

// Trial division by odd divisors; odd numbers below 9 count as prime.
bool isOddPrime(int64_t n) {
  for (int64_t divisor = 3; divisor * divisor <= n; divisor += 2)
    if (n % divisor == 0) return false;
  return true;
}

int64_t primeAtLeast(int64_t n) {
  if (n <= 2) return 2;
  int64_t candidate = n % 2 == 0 ? n + 1 : n;
  while (!isOddPrime(candidate)) candidate += 2;
  return candidate;
}

double fraction(double x) { return x - std::floor(x); }

// The 16-point Walsh–Hadamard transform in natural order (unnormalised).
void hadamard(ReverbProcessor::Lanes& v) {
  for (size_t half = 1; half < v.size(); half *= 2)
    for (size_t first = 0; first < v.size(); first += 2 * half)
      for (size_t j = first; j < first + half; ++j) {
        const float a = v[j];
        const float b = v[j + half];
        v[j] = a + b;
        v[j + half] = a - b;
      }
}

} // namespace

std::array<int64_t, 4> ReverbProcessor::diffuserLengths(double sampleRate) {
  constexpr std::array<double, 4> milliseconds{1.7, 2.9, 4.3, 6.1};
  std::array<int64_t, 4> lengths{};
  for (size_t k = 0; k < lengths.size(); ++k) {
    int64_t n = std::max<int64_t>(checkedInt(sampleRate * milliseconds[k] / 1000), 3);
    if (n % 2 == 0) ++n;
    while (!isOddPrime(n) || std::find(lengths.begin(), lengths.begin() + static_cast<ptrdiff_t>(k), n) !=
                                 lengths.begin() + static_cast<ptrdiff_t>(k))
      n += 2;
    lengths[k] = n;
  }
  return lengths;
}

std::array<int64_t, ReverbProcessor::lineCount> ReverbProcessor::lineLengths(double sampleRate, double size) {
  std::array<int64_t, lineCount> lengths{};
  int64_t previous = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const int64_t n = roundedInt(sampleRate * (size * 36 + 4) * std::pow(2.8, static_cast<double>(i) / 15) / 1000);
    const int64_t candidate = std::max({previous + 1, n, int64_t{48}});
    lengths[i] = previous = primeAtLeast(candidate);
  }
  return lengths;
}

ReverbProcessor::ReverbProcessor() = default;

ReverbProcessor::Targets ReverbProcessor::targets() const {
  const double sr = sampleRate_;
  const double decay = clamped(settings_.decaySeconds, 0.2, 20.0);
  const double size = clamped(settings_.size, 0.0, 1.0);
  const double damping = clamped(settings_.damping, 0.0, 1.0);
  const double ratio = std::pow(0.15, damping);
  const double cosine = std::cos(twoPi * std::min(0.4 * sr, 8000.0) / sr);

  Targets t;
  const auto lengths = lineLengths(sr, size);
  double lengthSum = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const auto length = static_cast<double>(lengths[i]);
    lengthSum += length;
    const double g = std::pow(10.0, -3 * length / (sr * decay));
    double p = 0;
    if (ratio < 0.999) {
      double r = std::pow(10.0, (-3 * length / sr) * (1 / (decay * ratio) - 1 / decay));
      r = std::max(r * r, 1e-8);
      if (r < 1) {
        const double a = 1 - cosine * r;
        const double b = 1 - r;
        p = (a - std::sqrt(std::max(a * a - b * b, 0.0))) / b;
        p = p > 0 ? std::min(p, 0.995) : 0;
      }
    }
    t.lengths[i] = static_cast<float>(length);
    t.gain[i] = static_cast<float>(g * (1 - p));
    t.pole[i] = static_cast<float>(p);
  }
  const double gm = std::pow(10.0, -3 * (lengthSum / lineCount) / (sr * decay));
  t.outputGain = static_cast<float>(std::sqrt(0.3 * std::sqrt(decay / 2) * std::max(1 - gm * gm, 1e-6)));
  t.preDelay = sr * clamped(settings_.preDelayMs, 0.0, 250.0) / 1000 + 2;
  t.lowCut = clamped(settings_.lowCutHz, 20.0, 1000.0);
  t.diffusion = static_cast<float>(clamped(settings_.diffusion, 0.0, 1.0));
  t.width = static_cast<float>(clamped(settings_.width, 0.0, 1.0));
  t.mix = static_cast<float>(clamped(settings_.mix, 0.0, 1.0));
  return t;
}

void ReverbProcessor::apply(const EffectSettings& settings) {
  const auto* reverb = std::get_if<ReverbSettings>(&settings);
  if (!reverb) return;
  settings_ = withFiniteFields(*reverb);
  if (isPrepared_) target_ = targets();
}

void ReverbProcessor::prepare(double sampleRate, int channelCount, int /*maxFrames*/) {
  const double sr = preparedSampleRate(sampleRate);
  sampleRate_ = sr;
  preparedChannels_ = std::clamp(channelCount, 1, maxChannels);

  const int64_t preDelaySize = spacePowerOfTwo(checkedInt(0.25 * sr) + 8);
  preDelayBuffer_ = SpaceStorage<float>(preDelaySize, 0.0f);
  preDelayMask_ = preDelaySize - 1;

  diffuserLengths_ = diffuserLengths(sr);
  const int64_t diffuserSize = spacePowerOfTwo(diffuserLengths_.back() + 2);
  diffuserRegion_ = diffuserSize + 16;
  diffuserBuffer_ = SpaceStorage<float>(4 * diffuserRegion_, 0.0f);
  diffuserMask_ = diffuserSize - 1;

  lineSize_ = spacePowerOfTwo(checkedInt(0.1254 * sr) + 8);
  lineStride_ = lineSize_ + 48;
  lineBuffer_ = SpaceStorage<float>(lineCount * lineStride_, 0.0f);

  modDepth_ = static_cast<float>(0.0002 * sr);
  for (size_t i = 0; i < lineCount; ++i) {
    const auto lane = static_cast<double>(i);
    modIncrement_[i] = static_cast<float>((0.1 + 0.9 * fraction(0.618034 * lane + 0.13)) * 32 / sr);
    inputVector_[i] = (7 * i + 3) % 5 < 2 ? -0.25f : 0.25f;
  }

  for (int row = 0; row < maxChannels; ++row)
    for (size_t j = 0; j < lineCount; ++j)
      outputRows_[row][j] = std::popcount(static_cast<unsigned>(row + 1) & static_cast<unsigned>(j)) % 2 ? -1.0f : 1.0f;

  const int64_t earlySize = spacePowerOfTwo(checkedInt(0.032 * sr) + 4);
  earlyBuffer_ = SpaceStorage<float>(earlySize, 0.0f);
  earlyMask_ = earlySize - 1;
  for (int64_t row = 0; row < maxChannels; ++row)
    for (int64_t tap = 0; tap < 8; ++tap) {
      const double spacing = fraction(0.7548777 * static_cast<double>(row + 1) + 0.5698403 * static_cast<double>(tap + 1));
      const double ms = 1 + 3.6 * static_cast<double>(tap) + 2.4 * spacing;
      earlyDelay_[row * 8 + tap] = std::max<int64_t>(1, checkedInt(sr * ms / 1000));
      const bool negative = ((0x39B1 + row * 0x1CD88 + tap * 0x39B1) >> 13) & 1;
      const double gain = 0.12 * std::pow(0.82, static_cast<double>(tap));
      earlyGain_[row * 8 + tap] = static_cast<float>(negative ? -gain : gain);
    }

  tickCoefficient_ = spaceTickCoefficient(0.05, sr);
  sizeCoefficient_ = spaceTickCoefficient(0.3, sr);
  preDelayGlide_ = 1 - std::exp(-1 / (0.1 * sr));
  isPrepared_ = true;
  reset();
}

ReverbProcessor::Lanes ReverbProcessor::currentDelays() const {
  Lanes delays{};
  for (size_t i = 0; i < lineCount; ++i)
    delays[i] = baseLength_[i] + std::sin(static_cast<float>(twoPi) * modPhase_[i]) * modDepth_;
  return delays;
}

void ReverbProcessor::setDiffusion(float diffusion) {
  diffusion_ = diffusion;
  diffuserGain_ = {0.75f * diffusion, 0.75f * diffusion, 0.625f * diffusion, 0.625f * diffusion};
}

void ReverbProcessor::reset() {
  if (!isPrepared_) return;
  preDelayBuffer_.clear();
  diffuserBuffer_.clear();
  lineBuffer_.clear();
  earlyBuffer_.clear();
  lowCut_ = {};
  allpassState_ = {};
  filterState_ = {};
  writeIndex_ = 0;
  controlPhase_ = 0;
  for (size_t i = 0; i < lineCount; ++i) modPhase_[i] = static_cast<float>(i) / lineCount;
  target_ = targets();
  preDelay_ = preDelayTarget_ = target_.preDelay;
  lowCutHz_ = target_.lowCut;
  lowCutCoefficients_ = SpaceSVFCoefficients(lowCutHz_, filterQ, sampleRate_);
  baseLength_ = target_.lengths;
  lineGain_ = target_.gain;
  linePole_ = target_.pole;
  setDiffusion(target_.diffusion);
  outputGain_.reset(target_.outputGain);
  width_.reset(target_.width);
  mix_.reset(target_.mix);
  delayStart_ = delayEnd_ = currentDelays();
}

void ReverbProcessor::controlTick() {
  const auto c = static_cast<float>(tickCoefficient_);
  const auto s = static_cast<float>(sizeCoefficient_);
  for (size_t i = 0; i < lineCount; ++i) {
    baseLength_[i] += (target_.lengths[i] - baseLength_[i]) * s;
    lineGain_[i] += (target_.gain[i] - lineGain_[i]) * c;
    linePole_[i] += (target_.pole[i] - linePole_[i]) * c;
  }
  setDiffusion(diffusion_ + (target_.diffusion - diffusion_) * c);
  outputGain_.advance(target_.outputGain, c);
  width_.advance(target_.width, c);
  mix_.advance(target_.mix, c);
  preDelayTarget_ = target_.preDelay;
  lowCutHz_ *= std::pow(target_.lowCut / lowCutHz_, tickCoefficient_);
  lowCutCoefficients_ = SpaceSVFCoefficients(lowCutHz_, filterQ, sampleRate_);
  for (size_t i = 0; i < lineCount; ++i) {
    modPhase_[i] += modIncrement_[i];
    modPhase_[i] -= std::floor(modPhase_[i]);
  }
  delayStart_ = delayEnd_;
  delayEnd_ = currentDelays();
}

// Mono sum → low cut → pre-delay → four allpasses; the result feeds the network and the early taps.
void ReverbProcessor::inputStage(float* const* channels, int count, int offset, int frames) {
  float* preDelayLine = preDelayBuffer_.pointer();
  float* early = earlyBuffer_.pointer();
  const float scale = 1.0f / static_cast<float>(count);
  for (int n = 0; n < frames; ++n) {
    const int64_t w = writeIndex_ + n;
    float sum = 0;
    // A non-finite input sample stays in the dry signal only: in the tank it would never decay.
    for (int ch = 0; ch < count; ++ch) sum += finiteOrZero(channels[ch][offset + n]);
    const float x = sum * scale;
    preDelay_ += preDelayGlide_ * (preDelayTarget_ - preDelay_);
    preDelayLine[w & preDelayMask_] = lowCut_.highPass(lowCutCoefficients_, x);
    float u = spaceCubicRead(preDelayLine, preDelayMask_, w, preDelay_);
    for (size_t k = 0; k < 4; ++k) {
      float* stage = diffuserBuffer_.pointer() + static_cast<int64_t>(k) * diffuserRegion_;
      const float g = diffuserGain_[k];
      const float d = stage[(w - diffuserLengths_[k]) & diffuserMask_];
      const float v = u + g * d;
      stage[w & diffuserMask_] = v;
      u = d - g * v;
    }
    chunkInput_[n] = u;
    early[w & earlyMask_] = u;
  }
}

// Every line over the whole block: modulated allpass-interpolated read, then the damping filter.
// The shortest line exceeds a block, so nothing read here is written in this block.
void ReverbProcessor::lineStage(int frames) {
  const int64_t mask = lineSize_ - 1;
  float* lines = chunkLines_.pointer();
  for (size_t i = 0; i < lineCount; ++i) {
    const float* line = lineBuffer_.pointer() + static_cast<int64_t>(i) * lineStride_;
    const float start = delayStart_[i];
    const float slope = (delayEnd_[i] - start) * 0.03125f;
    const float gain = lineGain_[i];
    const float pole = linePole_[i];
    float y = allpassState_[i];
    float q = filterState_[i];
    for (int n = 0; n < frames; ++n) {
      const int64_t w = writeIndex_ + n;
      const float delay = start + slope * static_cast<float>(controlPhase_ + n);
      const auto m = static_cast<int64_t>(delay - 0.5f);
      const float f = delay - static_cast<float>(m);
      const float a = (1 - f) / (1 + f);
      y = line[(w - m - 1) & mask] + a * (line[(w - m) & mask] - y);
      q = pole * q + gain * y;
      lines[n * lineCount + static_cast<int>(i)] = q;
    }
    allpassState_[i] = y;
    filterState_[i] = q;
  }
}

// Rows of the network plus early taps to the outputs; Hadamard-mixed lines plus input back in.
void ReverbProcessor::outputStage(float* const* channels, int count, int offset, int frames) {
  const float* early = earlyBuffer_.pointer();
  const int64_t mask = lineSize_ - 1;
  for (int n = 0; n < frames; ++n) {
    const int p = controlPhase_ + n;
    const int64_t w = writeIndex_ + n;
    Lanes s;
    std::copy_n(chunkLines_.pointer() + n * lineCount, lineCount, s.begin());
    const float outGain = outputGain_.value(p);
    const float mix = mix_.value(p);
    float tapSum = 0;
    for (int ch = 0; ch < count; ++ch) {
      const Lanes& row = outputRows_[ch];
      float network = 0;
      for (size_t j = 0; j < lineCount; ++j) network += row[j] * s[j];
      float reflections = 0;
      for (int tap = 0; tap < 8; ++tap)
        reflections += earlyGain_[ch * 8 + tap] * early[(w - earlyDelay_[ch * 8 + tap]) & earlyMask_];
      scratch_[ch] = outGain * network + reflections;
      tapSum += scratch_[ch];
    }
    if (count == 1) {
      float& y = channels[0][offset + n];
      y = y + mix * (scratch_[0] - y);
    } else {
      const float average = tapSum / static_cast<float>(count);
      const float width = width_.value(p);
      for (int ch = 0; ch < count; ++ch) {
        float& y = channels[ch][offset + n];
        y = y + mix * (average + width * (scratch_[ch] - average) - y);
      }
    }
    hadamard(s);
    const float u = chunkInput_[n];
    for (size_t k = 0; k < lineCount; ++k)
      lineBuffer_[static_cast<int64_t>(k) * lineStride_ + (w & mask)] = 0.25f * s[k] + inputVector_[k] * u;
  }
}

void ReverbProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!isPrepared_ || frameCount <= 0) return;
  const int count = std::min(preparedChannels_, channelCount);
  if (count < 1) return;
  int done = 0;
  while (done < frameCount) {
    if (controlPhase_ == 0) controlTick();
    const int length = std::min(32 - controlPhase_, frameCount - done);
    inputStage(channels, count, done, length);
    lineStage(length);
    outputStage(channels, count, done, length);
    writeIndex_ += length;
    controlPhase_ = (controlPhase_ + length) % 32;
    done += length;
  }
}

int64_t ReverbProcessor::tailFrames() const {
  const double seconds = std::min(
      clamped(settings_.preDelayMs, 0.0, 250.0) / 1000 + 1.1 * clamped(settings_.decaySeconds, 0.2, 20.0) + 0.125,
      30.0);
  return static_cast<int64_t>(sampleRate_ * seconds);
}

} // namespace quar
