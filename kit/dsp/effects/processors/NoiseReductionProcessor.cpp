#include "dsp/effects/processors/NoiseReductionProcessor.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "base/FiniteSample.h"
#include "base/Precondition.h"
#include "dsp/WindowFunction.h"

namespace quar {

namespace {

// Overlap-add of the squared periodic Hann window at 75 % overlap.
constexpr float hannSquaredOverlap = 1.5f;

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

int powerOfTwo(double log2Size, int lowest, int highest) {
  return 1 << std::clamp(static_cast<int>(std::round(log2Size)), lowest, highest);
}

// The speech-presence factor of a smoothed SNR: 0 up to 0.1, 1 from 0.316, log-linear between.
float presenceFactor(double zeta) {
  if (zeta <= 0.1) return 0;
  if (zeta >= 0.316) return 1;
  return static_cast<float>(std::log10(zeta / 0.1) / 0.4996871);
}

void fillZero(std::vector<float>& values) { std::fill(values.begin(), values.end(), 0.0f); }

} // namespace

int NoiseReductionProcessor::fftSize(double sampleRate) {
  QUAR_PRECONDITION(std::isfinite(sampleRate), "Sample rate must be finite");
  return powerOfTwo(std::log2(std::max(sampleRate * 2048 / 48000, 1.0)), 8, 14);
}

NoiseReductionProcessor::NoiseReductionProcessor() : profileStore_(maxProfileBins, 0.0f) {}

void NoiseReductionProcessor::apply(const EffectSettings& settings) {
  const auto* payload = std::get_if<NoiseReductionSettings>(&settings);
  if (!payload) return;
  const NoiseReductionSettings defaults;
  reductionDB_ = std::clamp(finiteOr(payload->reductionDB, defaults.reductionDB), 0.0, 48.0);
  sensitivityDB_ = std::clamp(finiteOr(payload->sensitivityDB, defaults.sensitivityDB), -12.0, 12.0);
  smoothing_ = std::clamp(finiteOr(payload->smoothing, defaults.smoothing), 0.0, 1.0);
  outputNoiseOnly_ = payload->outputNoiseOnly;

  // A failed or empty capture leaves an all-zero profile: that is no profile.
  hasProfile_ = false;
  if (payload->profile && !payload->profile->binPower.empty()) {
    const NoiseProfile& profile = *payload->profile;
    const int count = static_cast<int>(std::min<size_t>(profile.binPower.size(), maxProfileBins));
    bool anyNoise = false;
    for (int i = 0; i < count; ++i) {
      const float power = profile.binPower[static_cast<size_t>(i)];
      const float value = std::isfinite(power) ? power : 0.0f;
      profileStore_[static_cast<size_t>(i)] = value;
      anyNoise = anyNoise || value > 0;
    }
    if (anyNoise) {
      profileBins_ = count;
      profileSampleRate_ =
          std::isfinite(profile.sampleRate) && profile.sampleRate > 0 ? profile.sampleRate : sampleRate_;
      profileBinHz_ = count > 1 ? profileSampleRate_ * 0.5 / (count - 1) : profileSampleRate_;
      hasProfile_ = true;
    }
  }
  updateNoise();
  updateParameters();
}

void NoiseReductionProcessor::prepare(double sampleRate, int channelCount, int /*maxFrames*/) {
  sampleRate_ = preparedSampleRate(sampleRate);
  preparedChannels_ = std::max(channelCount, 1);
  const int size = fftSize(sampleRate_);
  if (!fft_ || size != fftSize_) {
    fft_ = RealFFT::make(size);
    QUAR_PRECONDITION(fft_ != nullptr, "FFT setup failed");
  }
  fftSize_ = size;
  hop_ = size / 4;
  binCount_ = size / 2 + 1;

  window_ = coefficients(WindowFunction::hann, size);
  double windowEnergy = 0;
  for (float w : window_) windowEnergy += static_cast<double>(w) * w;
  powerScale_ = static_cast<float>(1 / (4 * windowEnergy));

  const auto n = static_cast<size_t>(size);
  const auto bins = static_cast<size_t>(binCount_);
  const auto channels = static_cast<size_t>(preparedChannels_);
  frame_.assign(n, 0.0f);
  real_.assign(n / 2, 0.0f);
  imag_.assign(n / 2, 0.0f);
  for (auto* values : {&power_, &rawGain_, &gain_, &noise_, &inverseNoise_, &xiBuffer_, &expBuffer_, &presenceBuffer_})
    values->assign(bins, 0.0f);
  inputFIFO_.assign(n * channels, 0.0f);
  accumulator_.assign(n * channels, 0.0f);
  outputFIFO_.assign(static_cast<size_t>(hop_) * channels, 0.0f);
  previousClean_.assign(bins * channels, 0.0f);
  smoothedSNR_.assign(bins * channels, 0.0f);

  // Bins spanning 360 Hz; more than the bin count would reach no further.
  const double halfWidth = std::round(360 / (sampleRate_ / size));
  globalHalfWidth_ = static_cast<int>(std::clamp(halfWidth, 1.0, static_cast<double>(binCount_)));
  isPrepared_ = true;
  updateNoise();
  updateParameters();
  reset();
}

void NoiseReductionProcessor::reset() {
  if (!isPrepared_) return;
  for (auto* values : {&inputFIFO_, &accumulator_, &outputFIFO_, &previousClean_, &smoothedSNR_}) fillZero(*values);
  hopFill_ = 0;
  bypassRun_ = hasProfile_ ? 0 : 4;
}

void NoiseReductionProcessor::updateParameters() {
  ddAlpha_ = static_cast<float>(0.95 + 0.04 * smoothing_);
  neighbourWeight_ = static_cast<float>(0.25 * smoothing_);
  gainFloor_ = static_cast<float>(std::pow(10.0, -reductionDB_ / 20));
  if (!isPrepared_) return;
  const float s = static_cast<float>(std::pow(10.0, sensitivityDB_ / 10));
  for (int b = 0; b < binCount_; ++b)
    inverseNoise_[static_cast<size_t>(b)] = 1 / std::max(noise_[static_cast<size_t>(b)] * s, 1e-30f);
}

void NoiseReductionProcessor::updateNoise() {
  if (!isPrepared_) return;
  if (!hasProfile_ || profileBins_ < 1) {
    fillZero(noise_);
    return;
  }
  const float* profile = profileStore_.data();
  const double r = (sampleRate_ / fftSize_) / profileBinHz_;  // processor bin width in profile bins
  const int last = profileBins_ - 1;
  const double scale = sampleRate_ / profileSampleRate_;
  for (int b = 0; b < binCount_; ++b) {
    const double x = r * b;
    double value;
    if (r > 1) {
      const double lo = std::max(std::ceil(x - r / 2), 0.0);
      const double hi = std::min(std::floor(x + r / 2), static_cast<double>(last));
      if (hi < lo) {
        value = profile[static_cast<int>(std::min(std::round(x), static_cast<double>(last)))];
      } else {
        double sum = 0;
        for (int i = static_cast<int>(lo); i <= static_cast<int>(hi); ++i) sum += profile[i];
        value = sum / (hi - lo + 1);
      }
    } else {
      const double i = std::floor(x);
      if (i < last) {
        const int index = static_cast<int>(i);
        value = profile[index] + (x - i) * (profile[index + 1] - profile[index]);
      } else {
        value = profile[last];
      }
    }
    noise_[static_cast<size_t>(b)] = static_cast<float>(scale * value);
  }
}

void NoiseReductionProcessor::process(float* const* channels, int channelCount, int frameCount) {
  if (!isPrepared_ || frameCount < 1) return;
  const int count = std::min(preparedChannels_, channelCount);
  const auto n = static_cast<size_t>(fftSize_);
  const auto hop = static_cast<size_t>(hop_);
  int done = 0;
  while (done < frameCount) {
    const int chunk = std::min(frameCount - done, hop_ - hopFill_);
    for (int c = 0; c < count; ++c) {
      float* samples = channels[c] + done;
      float* input = inputFIFO_.data() + c * n + (n - hop) + hopFill_;
      const float* output = outputFIFO_.data() + c * hop + hopFill_;
      std::copy_n(samples, chunk, input);
      std::copy_n(output, chunk, samples);
    }
    hopFill_ += chunk;
    done += chunk;
    if (hopFill_ == hop_) {
      hopFill_ = 0;
      bypassRun_ = hasProfile_ ? 0 : std::min(bypassRun_ + 1, 1000);
      for (int c = 0; c < preparedChannels_; ++c) processFrame(c, !hasProfile_);
    }
  }
}

void NoiseReductionProcessor::processFrame(int channel, bool bypass) {
  const int n = fftSize_;
  const int hop = hop_;
  float* x = inputFIFO_.data() + static_cast<size_t>(channel) * n;
  float* acc = accumulator_.data() + static_cast<size_t>(channel) * n;
  float* out = outputFIFO_.data() + static_cast<size_t>(channel) * hop;
  float* frame = frame_.data();
  const float* window = window_.data();

  // A NaN or infinity enters the spectrum as 0; out[i] is the output of x[i], so it passes through.
  for (int i = 0; i < n; ++i) frame[i] = finiteOrZero(x[i]) * window[i];
  bool writeAccumulator = true;
  if (bypass) {
    const float scale = 1 / hannSquaredOverlap;
    for (int i = 0; i < n; ++i) acc[i] += frame[i] * window[i] * scale;
    if (bypassRun_ > 3) {
      if (outputNoiseOnly_)
        std::fill_n(out, hop, 0.0f);
      else
        std::copy_n(x, hop, out);
      writeAccumulator = false;
    }
  } else {
    fft_->forward(frame, real_.data(), imag_.data());
    computeGains(channel);
    real_[0] *= gain_[0];
    imag_[0] *= gain_[static_cast<size_t>(n / 2)];
    for (int k = 1; k < n / 2; ++k) {
      real_[static_cast<size_t>(k)] *= gain_[static_cast<size_t>(k)];
      imag_[static_cast<size_t>(k)] *= gain_[static_cast<size_t>(k)];
    }
    fft_->inverse(real_.data(), imag_.data(), frame);
    const float scale = 1 / (2.0f * n * hannSquaredOverlap);
    for (int i = 0; i < n; ++i) acc[i] += frame[i] * window[i] * scale;
  }
  if (writeAccumulator) {
    if (outputNoiseOnly_)
      for (int i = 0; i < hop; ++i) out[i] = x[i] - acc[i];
    else
      for (int i = 0; i < hop; ++i) out[i] = std::isfinite(x[i]) ? acc[i] : x[i];
  }
  std::copy(acc + hop, acc + n, acc);
  std::fill(acc + (n - hop), acc + n, 0.0f);
  std::copy(x + hop, x + n, x);
}

void NoiseReductionProcessor::computeGains(int channel) {
  const int half = fftSize_ / 2;
  const int last = binCount_ - 1;
  const auto offset = static_cast<size_t>(channel) * binCount_;
  float* clean = previousClean_.data() + offset;
  float* snr = smoothedSNR_.data() + offset;
  float* power = power_.data();

  power[0] = powerScale_ * real_[0] * real_[0];
  power[half] = powerScale_ * imag_[0] * imag_[0];
  for (int k = 1; k < half; ++k)
    power[k] = powerScale_ * (real_[static_cast<size_t>(k)] * real_[static_cast<size_t>(k)] +
                              imag_[static_cast<size_t>(k)] * imag_[static_cast<size_t>(k)]);

  // Decision-directed a priori SNR and its Wiener gain.
  for (int b = 0; b <= last; ++b) {
    const float inverse = inverseNoise_[static_cast<size_t>(b)];
    const float gamma = power[b] * inverse;
    const float xi = inverse * ddAlpha_ * clean[b] + (1 - ddAlpha_) * std::max(gamma - 1, 0.0f);
    const float g = xi / (xi + 1);
    rawGain_[static_cast<size_t>(b)] = g;
    clean[b] = power[b] * g * g;
    xiBuffer_[static_cast<size_t>(b)] = xi;
    expBuffer_[static_cast<size_t>(b)] = std::exp(-gamma * g);
    snr[b] = 0.7f * snr[b] + 0.3f * xi;
  }

  // Signal presence from the local (3-bin) and global (±360 Hz) means of the smoothed SNR.
  const int width = globalHalfWidth_;
  double globalSum = 0;
  for (int i = 0; i <= std::min(width, last); ++i) globalSum += snr[i];
  for (int b = 0; b <= last; ++b) {
    const int localLo = std::max(b - 1, 0), localHi = std::min(b + 1, last);
    double localSum = 0;
    for (int i = localLo; i <= localHi; ++i) localSum += snr[i];
    const double local = localSum / (localHi - localLo + 1);
    const int globalLo = std::max(b - width, 0), globalHi = std::min(b + width, last);
    const double global = globalSum / (globalHi - globalLo + 1);
    if (b + width + 1 <= last) globalSum += snr[b + width + 1];
    if (b - width >= 0) globalSum -= snr[b - width];

    const float q = std::min(1 - presenceFactor(local) * presenceFactor(global), 0.98f);
    const float xi = xiBuffer_[static_cast<size_t>(b)];
    presenceBuffer_[static_cast<size_t>(b)] = 1 / (1 + (1 + xi) * (q / (1 - q)) * expBuffer_[static_cast<size_t>(b)]);
  }

  // Smoothing across frequency, then the geometric blend toward the floor.
  const float w = neighbourWeight_;
  const float* g = rawGain_.data();
  const float logFloor = std::log(gainFloor_);
  for (int b = 0; b <= last; ++b) {
    float smoothed;
    if (b == 0)
      smoothed = (1 - 2 * w) * g[0] + 2 * w * g[1];
    else if (b == last)
      smoothed = (1 - 2 * w) * g[last] + 2 * w * g[last - 1];
    else
      smoothed = (1 - 2 * w) * g[b] + w * (g[b - 1] + g[b + 1]);
    smoothed = std::max(smoothed, 1e-12f);
    const float p = presenceBuffer_[static_cast<size_t>(b)];
    gain_[static_cast<size_t>(b)] = std::max(std::exp(p * std::log(smoothed) + (1 - p) * logFloor), gainFloor_);
  }
}

} // namespace quar
