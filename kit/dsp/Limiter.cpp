#include "dsp/Limiter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/FiniteSample.h"
#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/Buffers.h"
#include "dsp/ParallelFor.h"
#include "dsp/TruePeak.h"

namespace quar {
namespace {

constexpr int64_t peakBlock = 1024;

// out[j] = the maximum of in over [j, j + window) for j in [0, count − window], in O(count) with a
// monotonic queue of indices (`queue` holds count entries).
void slidingMaximum(const float* in, int64_t count, int64_t window, float* out, int64_t* queue) {
  int64_t head = 0;
  int64_t tail = 0;
  for (int64_t i = 0; i < count; ++i) {
    while (tail > head && in[queue[tail - 1]] <= in[i]) --tail;
    queue[tail++] = i;
    if (queue[head] <= i - window) ++head;
    if (i >= window - 1) out[i - window + 1] = in[queue[head]];
  }
}

} // namespace

LoudnessNormalization::Plan LoudnessNormalization::plan(const LoudnessResult& result, double targetLUFS,
                                                        double ceilingDBTP) {
  const double integrated = result.integratedLUFS;
  const double peak = result.truePeakDBTP;
  Plan plan;
  if (std::isfinite(integrated)) {
    plan.gainDB = targetLUFS - integrated;
    plan.predictedIntegratedLUFS = targetLUFS;
    plan.predictedTruePeakDBTP = peak + plan.gainDB;
  } else {
    plan.gainDB = 0;
    plan.predictedIntegratedLUFS = integrated;
    plan.predictedTruePeakDBTP = peak;
  }
  plan.needsLimiting = ceilingDBTP < plan.predictedTruePeakDBTP;
  return plan;
}

void TruePeakLimiter::render(const AudioSource& source, FrameRange range, double preGainDB, double ceilingDBTP,
                             double lookaheadMs, double releaseMs, const std::function<bool(double)>& progress,
                             const std::function<void(ChannelViews chunk)>& emit) {
  const FrameRange limit = range.clamped(source.fullRange());
  const int64_t lo = limit.lowerBound;
  const int64_t hi = limit.upperBound;
  const int channels = source.channelCount();
  if (lo == hi || channels < 1) return;

  const double rate = source.sampleRate();
  const auto preGain = static_cast<float>(std::pow(10.0, preGainDB / 20));
  const auto ceiling = static_cast<float>(std::pow(10.0, (ceilingDBTP - 0.01) / 20));
  const TruePeakInterpolator interpolator(rate);
  constexpr int64_t taps = TruePeakInterpolator::taps;
  constexpr int64_t h = taps / 2;
  const int64_t L = std::max<int64_t>(1, checkedInt(lookaheadMs * rate / 1000));
  const int64_t W = L + h + 1;
  const int64_t pad = 2 * L + 2 * h + 1;
  const double release = releaseMs <= 0 ? 1.0 : 1 - std::exp(-1 / (releaseMs / 1000 * rate));
  double env = 1.0;

  const int64_t padded = chunkFrames + 2 * pad;
  ChannelBuffers input(channels, padded);
  ChannelBuffers measured(channels, padded);
  ChannelBuffers peaks(channels, padded);
  ChannelBuffers scratch(channels, peakBlock);
  ChannelBuffers output(channels, chunkFrames);
  std::vector<float> cross(static_cast<size_t>(padded));
  std::vector<float> target(static_cast<size_t>(padded));
  std::vector<float> gain(static_cast<size_t>(chunkFrames));
  std::vector<int64_t> queue(static_cast<size_t>(padded));
  std::vector<std::span<const float>> views(static_cast<size_t>(channels));

  if (progress && !progress(0)) throw CancellationError();
  for (int64_t pos = lo; pos < hi; pos += chunkFrames) {
    const int64_t n = std::min(hi - pos, chunkFrames);
    const int64_t m = n + 2 * pad;
    input.readZeroPadded(source, {pos - pad, pos + n + pad}, limit, 0);
    if (preGain != 1.0f)
      for (int c = 0; c < channels; ++c) {
        float* x = input.channel(c);
        for (int64_t i = 0; i < m; ++i) x[i] *= preGain;
      }

    // peak[i] covers sample h − 1 + i and the inter-sample points up to the next sample. The
    // gain follows the audio with every NaN or infinity as 0; those samples pass through.
    const int64_t positions = m - 2 * h + 1;
    parallelFor(channels, channels > 1, [&](int64_t index) {
      const auto c = static_cast<int>(index);
      float* x = measured.channel(c);
      std::transform(input.channel(c), input.channel(c) + m, x, finiteOrZero);
      float* peak = peaks.channel(c);
      float* interpolated = scratch.channel(c);
      for (int64_t i = 0; i < positions; ++i) peak[i] = std::fabs(x[h - 1 + i]);
      for (int64_t i = 0; i < positions; i += peakBlock) {
        const int64_t count = std::min(peakBlock, positions - i);
        if (ceiling > 0 && interpolator.gainBound * maxMagnitude(x + i, count + taps - 1) <= ceiling) continue;
        for (int p = 0; p < interpolator.factor; ++p) {
          interpolator.interpolate(p, x + i, interpolated, count);
          for (int64_t k = 0; k < count; ++k) peak[i + k] = std::max(peak[i + k], std::fabs(interpolated[k]));
        }
      }
    });
    std::copy(peaks.channel(0), peaks.channel(0) + positions, cross.begin());
    for (int c = 1; c < channels; ++c) {
      const float* peak = peaks.channel(c);
      for (int64_t i = 0; i < positions; ++i) cross[static_cast<size_t>(i)] = std::max(cross[static_cast<size_t>(i)], peak[i]);
    }

    // target[j]: the gain that brings the largest peak within W frames of position j + W to
    // the ceiling (1 when none exceeds it).
    const int64_t targets = positions - 2 * W;
    slidingMaximum(cross.data(), positions, 2 * W + 1, target.data(), queue.data());
    for (int64_t j = 0; j < targets; ++j) {
      float& t = target[static_cast<size_t>(j)];
      t = ceiling / std::max(t, ceiling);
    }

    // Average 2L + 1 targets centred on each output frame, then release through a one-pole.
    const int64_t span = 2 * L + 1;
    double sum = 0;
    for (int64_t j = 1; j <= span; ++j) sum += target[static_cast<size_t>(j)];
    for (int64_t k = 0; k < n; ++k) {
      const double average = sum / static_cast<double>(span);
      env = std::min(average, env + release * (1 - env));
      gain[static_cast<size_t>(k)] = static_cast<float>(env);
      if (k + 1 < n) sum += target[static_cast<size_t>(k + span + 1)] - target[static_cast<size_t>(k + 1)];
    }

    for (int c = 0; c < channels; ++c) {
      const float* x = input.channel(c) + pad;
      float* out = output.channel(c);
      for (int64_t k = 0; k < n; ++k) out[k] = x[k] * gain[static_cast<size_t>(k)];
      views[static_cast<size_t>(c)] = {out, static_cast<size_t>(n)};
    }
    emit(views);
    if (progress && !progress(static_cast<double>(pos + n - lo) / static_cast<double>(hi - lo)))
      throw CancellationError();
  }
}

} // namespace quar
