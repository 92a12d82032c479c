#include "dsp/effects/processors/DelayProcessor.h"

#include <algorithm>
#include <cmath>

#include "base/FiniteSample.h"
#include "base/Numbers.h"

namespace quar {

namespace {

constexpr double filterQ = 0.707;

double timeMs(const DelaySettings& s) { return clamped(s.timeMs, 1.0, 4000.0); }
float feedbackTarget(const DelaySettings& s) { return static_cast<float>(clamped(s.feedback, 0.0, 0.95)); }
float mixTarget(const DelaySettings& s) { return static_cast<float>(clamped(s.mix, 0.0, 1.0)); }
double lowCutTarget(const DelaySettings& s) { return clamped(s.lowCutHz, 20.0, 2000.0); }
double highCutTarget(const DelaySettings& s) { return clamped(s.highCutHz, 1000.0, 20000.0); }

} // namespace

DelayProcessor::DelayProcessor() = default;

double DelayProcessor::leftFrames() const { return std::max(2.0, timeMs(settings_) / 1000 * sampleRate_); }

double DelayProcessor::rightFrames() const {
  const double ratio = clamped(settings_.rightTimeRatio, 0.25, 4.0);
  return std::max(2.0, sampleRate_ * ratio * timeMs(settings_) / 1000);
}

double DelayProcessor::lineTarget(int64_t line) const { return line % 2 == 0 ? leftFrames() : rightFrames(); }

void DelayProcessor::apply(const EffectSettings& settings) {
  const auto* delay = std::get_if<DelaySettings>(&settings);
  if (!delay) return;
  settings_ = withFiniteFields(*delay);
  if (!isPrepared_) return;
  for (int64_t i = 0; i < lineCount_; ++i) lines_[i].target = lineTarget(i);
}

void DelayProcessor::prepare(double requestedRate, int channelCount, int /*maxFrames*/) {
  const double sampleRate = preparedSampleRate(requestedRate);
  sampleRate_ = sampleRate;
  preparedChannels_ = std::max(channelCount, 1);
  lineCount_ = (preparedChannels_ + 1) / 2 * 2;

  const int64_t evenLength = spacePowerOfTwo(checkedInt(4 * sampleRate) + 8);
  const int64_t oddLength = spacePowerOfTwo(checkedInt(16 * sampleRate) + 8);
  offsets_ = SpaceStorage<int64_t>(lineCount_, 0);
  masks_ = SpaceStorage<int64_t>(lineCount_, 0);
  int64_t total = 0;
  for (int64_t i = 0; i < lineCount_; ++i) {
    const int64_t length = i % 2 == 0 ? evenLength : oddLength;
    offsets_[i] = total;
    masks_[i] = length - 1;
    total += length;
  }
  storage_ = SpaceStorage<float>(total, 0.0f);
  lines_ = SpaceStorage<Line>(lineCount_, Line{});

  glideCoefficient_ = 1 - std::exp(-1 / (0.1 * sampleRate));
  tickCoefficient_ = spaceTickCoefficient(0.03, sampleRate);
  isPrepared_ = true;
  reset();
}

void DelayProcessor::reset() {
  if (!isPrepared_) return;
  storage_.clear();
  writeIndex_ = 0;
  controlPhase_ = 0;
  feedback_.reset(feedbackTarget(settings_));
  mix_.reset(mixTarget(settings_));
  lowCutHz_ = lowCutTarget(settings_);
  highCutHz_ = highCutTarget(settings_);
  lowCutCoefficients_ = SpaceSVFCoefficients(lowCutHz_, filterQ, sampleRate_);
  highCutCoefficients_ = SpaceSVFCoefficients(highCutHz_, filterQ, sampleRate_);
  for (int64_t i = 0; i < lineCount_; ++i) {
    Line& line = lines_[i];
    line.delay = line.glide = line.target = lineTarget(i);
    line.lowCut = {};
    line.highCut = {};
  }
}

void DelayProcessor::controlTick() {
  const auto c = static_cast<float>(tickCoefficient_);
  feedback_.advance(feedbackTarget(settings_), c);
  mix_.advance(mixTarget(settings_), c);
  lowCutHz_ *= std::pow(lowCutTarget(settings_) / lowCutHz_, tickCoefficient_);
  highCutHz_ *= std::pow(highCutTarget(settings_) / highCutHz_, tickCoefficient_);
  lowCutCoefficients_ = SpaceSVFCoefficients(lowCutHz_, filterQ, sampleRate_);
  highCutCoefficients_ = SpaceSVFCoefficients(highCutHz_, filterQ, sampleRate_);
}

void DelayProcessor::glide(Line& line) const {
  line.glide += glideCoefficient_ * (line.target - line.glide);
  line.delay += glideCoefficient_ * (line.glide - line.delay);
}

float DelayProcessor::filteredRead(Line& line, const float* buffer, int64_t mask, int64_t w) const {
  const float r = spaceCubicRead(buffer, mask, w, line.delay);
  return line.lowCut.highPass(lowCutCoefficients_, line.highCut.lowPass(highCutCoefficients_, r));
}

void DelayProcessor::processLine(int64_t index, float* samples, int frames) {
  Line& line = lines_[index];
  float* buffer = storage_.pointer() + offsets_[index];
  const int64_t mask = masks_[index];
  for (int n = 0; n < frames; ++n) {
    const int p = controlPhase_ + n;
    const int64_t w = writeIndex_ + n;
    glide(line);
    const float e = filteredRead(line, buffer, mask, w);
    const float x = samples[n];
    buffer[w & mask] = spaceSoftClip(finiteOrZero(x) + feedback_.value(p) * e);
    samples[n] = x + mix_.value(p) * (e - x);
  }
}

void DelayProcessor::processPingPong(int64_t pair, float* left, float* right, int frames) {
  Line& lineL = lines_[2 * pair];
  Line& lineR = lines_[2 * pair + 1];
  float* bufferL = storage_.pointer() + offsets_[2 * pair];
  float* bufferR = storage_.pointer() + offsets_[2 * pair + 1];
  const int64_t maskL = masks_[2 * pair];
  const int64_t maskR = masks_[2 * pair + 1];
  for (int n = 0; n < frames; ++n) {
    const int p = controlPhase_ + n;
    const int64_t w = writeIndex_ + n;
    const float fb = feedback_.value(p);
    const float m = mix_.value(p);
    glide(lineL);
    glide(lineR);
    const float eR = filteredRead(lineR, bufferR, maskR, w);
    const float xL = left[n];
    const float mono = right ? (finiteOrZero(xL) + finiteOrZero(right[n])) * 0.5f : finiteOrZero(xL);
    bufferL[w & maskL] = spaceSoftClip(mono + fb * eR);
    const float eL = filteredRead(lineL, bufferL, maskL, w);
    bufferR[w & maskR] = spaceSoftClip(fb * eL);
    if (right) {
      const float xR = right[n];
      left[n] = xL + m * (eL - xL);
      right[n] = xR + m * (eR - xR);
    } else {
      left[n] = xL + m * ((eL + eR) - xL);
    }
  }
}

void DelayProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!isPrepared_ || frameCount <= 0) return;
  const int count = std::min(preparedChannels_, channelCount);
  int done = 0;
  while (done < frameCount) {
    if (controlPhase_ == 0) controlTick();
    const int length = std::min(32 - controlPhase_, frameCount - done);
    for (int first = 0; first < count; first += 2) {
      float* left = channels[first] + done;
      float* right = first + 1 < count ? channels[first + 1] + done : nullptr;
      if (settings_.pingPong) {
        processPingPong(first / 2, left, right, length);
      } else {
        processLine(first, left, length);
        if (right) processLine(first + 1, right, length);
      }
    }
    writeIndex_ += length;
    controlPhase_ = (controlPhase_ + length) % 32;
    done += length;
  }
}

int64_t DelayProcessor::tailFrames() const {
  const double period =
      preparedChannels_ == 1 && !settings_.pingPong ? leftFrames() : std::max(leftFrames(), rightFrames());
  int64_t repeats = 1;
  if (settings_.feedback > 0.001) {
    const double f = std::min(settings_.feedback, 0.95);
    repeats = static_cast<int64_t>(-3 / std::log10(f)) + 1;
  }
  const double seconds = std::min(period * static_cast<double>(repeats) / sampleRate_ + 0.05, 30.0);
  return static_cast<int64_t>(sampleRate_ * seconds);
}

} // namespace quar
