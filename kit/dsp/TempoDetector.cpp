#include "dsp/TempoDetector.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/Buffers.h"
#include "dsp/RealFFT.h"
#include "dsp/WindowFunction.h"

namespace quar {

namespace {

constexpr int kFFTSize = 2048;
constexpr int kHalf = kFFTSize / 2;
constexpr int64_t kHop = 512;
// Offset from an envelope frame's start to the audio frame its onset stands for.
constexpr int64_t kBeatOffset = 768;
constexpr int kMinEnvelope = 65;
// Audio read before the analysed span (silence before the source's start), so that an onset at
// the span's very start has a spectrum before it to rise from.
constexpr int64_t kLead = kFFTSize;
// A beat placed less than half a transform window before frame 0 is the beat at frame 0: the
// envelope cannot tell them apart.
constexpr double kStartTolerance = kFFTSize / 2.0;
// How much more energy a later beat slot needs to be taken for the downbeat over an earlier one.
constexpr double kClearlyLouder = 1.01;
// Envelope frames (one transform each) between two progress checks.
constexpr int64_t kFramesPerCheck = 256;

// Frames [start, start + count) of a source, where frames before the source's start read as
// silence.
class SourceWindow final : public AudioSource {
public:
  SourceWindow(const AudioSource& source, int64_t start, int64_t count) : source_(source), start_(start), count_(count) {}

  int channelCount() const override { return source_.channelCount(); }
  double sampleRate() const override { return source_.sampleRate(); }
  int64_t frameCount() const override { return count_; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    const int64_t silent = std::clamp<int64_t>(-(start_ + range.lowerBound), 0, range.count());
    std::vector<float*> rest;
    for (float* destination : destinations) {
      std::fill_n(destination, silent, 0.0f);
      rest.push_back(destination + silent);
    }
    if (silent < range.count()) source_.read({start_ + range.lowerBound + silent, start_ + range.upperBound}, rest);
  }

private:
  const AudioSource& source_;
  int64_t start_;
  int64_t count_;
};

void check(const std::function<bool(double)>& progress, double fraction) {
  if (progress && !progress(fraction)) throw CancellationError();
}

// position + k·period for the integer k that puts it at or after frame 0, where within
// kStartTolerance before frame 0 counts as frame 0.
int64_t earliestFromStart(double position, double period) {
  const double earliest = position - std::floor((position + kStartTolerance) / period) * period;
  return roundedInt(std::max(earliest, 0.0));
}

FrameRange clampedToSource(const AudioSource& source, std::optional<FrameRange> range) {
  const FrameRange full = source.fullRange();
  return range.value_or(full).clamped(full);
}

// Each value minus the mean of the `window` values around it, floored at 0.
std::vector<float> removeLocalMean(const std::vector<float>& onset, int64_t window) {
  const auto count = static_cast<int64_t>(onset.size());
  std::vector<double> prefix(onset.size() + 1, 0.0);
  for (size_t i = 0; i < onset.size(); ++i) prefix[i + 1] = prefix[i] + onset[i];
  std::vector<float> result(onset.size());
  for (int64_t f = 0; f < count; ++f) {
    const int64_t lo = std::max<int64_t>(f - window / 2, 0);
    const int64_t hi = std::min<int64_t>(f + window / 2 + 1, count);
    const double mean = (prefix[static_cast<size_t>(hi)] - prefix[static_cast<size_t>(lo)]) / static_cast<double>(hi - lo);
    result[static_cast<size_t>(f)] = static_cast<float>(std::max(onset[static_cast<size_t>(f)] - mean, 0.0));
  }
  return result;
}

// env at fractional position x (0 <= x < size − 1), linearly interpolated.
double interpolated(const std::vector<float>& env, double x) {
  const auto i = static_cast<size_t>(x);
  const double fraction = x - static_cast<double>(i);
  return env[i] + (env[i + 1] - env[i]) * fraction;
}

struct Beats {
  double period;  // envelope frames
  double phase;   // envelope frames
};

// The period within ±3 % of `lag` and the phase whose interpolated envelope values at
// phase + j·period average highest (the first such pair on ties).
Beats finePeriodAndPhase(const std::vector<float>& env, int64_t lag, const std::function<bool(double)>& progress) {
  const double last = static_cast<double>(env.size()) - 1;
  const double lower = 0.97 * static_cast<double>(lag), upper = 1.03 * static_cast<double>(lag);
  const double step = 0.0005 * static_cast<double>(lag);
  Beats best{static_cast<double>(lag), 0};
  double bestAverage = -std::numeric_limits<double>::infinity();
  for (double period = lower; period <= upper; period += step) {
    check(progress, 0.5 + 0.4 * (period - lower) / (upper - lower));
    for (double phase = 0; phase < period; phase += 0.25) {
      double sum = 0;
      int64_t count = 0;
      for (double x = phase; x < last; x = phase + static_cast<double>(count) * period) {
        sum += interpolated(env, x);
        ++count;
      }
      const double average = count > 0 ? sum / static_cast<double>(count) : 0;
      if (average > bestAverage) {
        bestAverage = average;
        best = {period, phase};
      }
    }
  }
  return best;
}

// The beat slot in a bar of `beatsPerBar` whose windows around the beats in [s, e) hold the
// most energy (the first on ties).
int downbeatSlot(const AudioSource& source, int64_t s, int64_t e, const Beats& beats, int beatsPerBar,
                 const std::function<bool(double)>& progress) {
  std::vector<double> energy(static_cast<size_t>(beatsPerBar), 0.0);
  const auto window = static_cast<int64_t>(0.06 * source.sampleRate());
  const int64_t lead = window / 4;
  ChannelBuffers buffers(source.channelCount(), window);
  for (int64_t k = 0;; ++k) {
    const int64_t beat = roundedInt((beats.phase + beats.period * static_cast<double>(k)) * kHop);
    const int64_t start = s + beat + kBeatOffset - lead;
    if (start + window > e) break;
    if (start < s) continue;
    if (k % 64 == 0) check(progress, 0.9 + 0.1 * static_cast<double>(start - s) / static_cast<double>(e - s));
    source.read({start, start + window}, buffers.pointers());
    double sum = 0;
    for (int c = 0; c < buffers.channelCount(); ++c)
      for (int64_t i = 0; i < window; ++i) sum += static_cast<double>(buffers.channel(c)[i]) * buffers.channel(c)[i];
    energy[static_cast<size_t>(k % beatsPerBar)] += sum;
  }
  // Beats of equal loudness (a click track without accents) differ only by rounding: a later
  // slot wins only by a clear margin, so that bar 1 then starts on the first beat.
  size_t best = 0;
  for (size_t slot = 1; slot < energy.size(); ++slot)
    if (energy[best] * kClearlyLouder < energy[slot]) best = slot;
  return static_cast<int>(best);
}

// The onset envelope; `progress` gets fractions up to 0.5.
std::vector<float> envelope(const AudioSource& source, std::optional<FrameRange> range,
                            const std::function<bool(double)>& progress) {
  const FrameRange span = clampedToSource(source, range);
  const int64_t length = span.count();
  if (length <= kFFTSize) return {};
  const auto fft = RealFFT::make(kFFTSize);
  if (!fft) return {};
  const std::vector<float> window = coefficients(WindowFunction::hann, kFFTSize);
  const int64_t frames = (length - kFFTSize) / kHop + 1;

  ChannelBuffers buffers(source.channelCount(), kFFTSize);
  std::vector<float> mono(kFFTSize), real(kHalf), imag(kHalf), compressed(kHalf), previous(kHalf);
  std::vector<float> onset(static_cast<size_t>(frames), 0.0f);
  for (int64_t f = 0; f < frames; ++f) {
    if (f % kFramesPerCheck == 0) check(progress, 0.5 * static_cast<double>(f) / static_cast<double>(frames));
    const int64_t start = span.lowerBound + f * kHop;
    source.read({start, start + kFFTSize}, buffers.pointers());
    std::fill(mono.begin(), mono.end(), 0.0f);
    for (int c = 0; c < buffers.channelCount(); ++c)
      for (int i = 0; i < kFFTSize; ++i) mono[static_cast<size_t>(i)] += buffers.channel(c)[i];
    for (int i = 0; i < kFFTSize; ++i) mono[static_cast<size_t>(i)] *= window[static_cast<size_t>(i)];
    fft->forward(mono.data(), real.data(), imag.data());
    for (int k = 1; k < kHalf; ++k) compressed[k] = std::log1p(20 * std::hypot(real[k], imag[k]));
    if (f > 0) {
      double flux = 0;
      for (int k = 1; k < kHalf; ++k) flux += std::max(0.0f, compressed[k] - previous[k]);
      onset[static_cast<size_t>(f)] = static_cast<float>(flux);
    }
    std::swap(previous, compressed);
  }

  const double halfSecond = 0.5 * source.sampleRate() / kHop;
  const int64_t meanWindow = halfSecond > 3 ? static_cast<int64_t>(std::min(halfSecond, static_cast<double>(frames))) : 3;
  std::vector<float> envelope = removeLocalMean(onset, meanWindow);
  const float largest = *std::max_element(envelope.begin(), envelope.end());
  if (largest > 0)
    for (float& value : envelope) value *= 1 / largest;
  return envelope;
}

} // namespace

std::vector<float> TempoDetector::onsetEnvelope(const AudioSource& source, std::optional<FrameRange> range) {
  return envelope(source, range, {});
}

std::optional<TempoEstimate> TempoDetector::detect(const AudioSource& source, std::optional<FrameRange> range,
                                                   int beatsPerBar, double maxSeconds,
                                                   const std::function<bool(double)>& progress) {
  const double sampleRate = source.sampleRate();
  if (!(sampleRate > 0 && std::isfinite(sampleRate))) return std::nullopt;
  const double fps = sampleRate / kHop;

  const FrameRange span = clampedToSource(source, range);
  int64_t s = span.lowerBound, e = span.upperBound;
  const double maxFrames = std::trunc(maxSeconds * sampleRate);
  if (maxFrames < static_cast<double>(span.count())) {
    const int64_t kept = maxFrames > 0 ? static_cast<int64_t>(maxFrames) : 0;
    s = span.lowerBound + (span.count() - kept) / 2;
    e = span.lowerBound + (span.count() + kept) / 2;
  }

  if (e - s <= kFFTSize || (e - s - kFFTSize) / kHop + 1 < kMinEnvelope) return std::nullopt;
  // The envelope and the beats' energy are read from `view`, which starts kLead frames early.
  const SourceWindow view(source, s - kLead, e - s + kLead);
  const std::vector<float> env = envelope(view, std::nullopt, progress);
  const auto n = static_cast<int64_t>(env.size());

  const double shortestLag = std::floor(60 / bpmRange.upperBound * fps);
  const double longestLag = std::min(static_cast<double>(n / 2), std::ceil(60 / bpmRange.lowerBound * fps));
  if (shortestLag + 2 >= longestLag) return std::nullopt;
  const int64_t minLag = std::max<int64_t>(static_cast<int64_t>(shortestLag), 1);
  const auto maxLag = static_cast<int64_t>(longestLag);

  std::vector<double> acf(static_cast<size_t>(maxLag + 2), 0.0);
  for (int64_t lag = minLag; lag <= maxLag + 1 && lag < n; ++lag) {
    float dot = 0;
    for (int64_t i = 0; i < n - lag; ++i) dot += env[static_cast<size_t>(i)] * env[static_cast<size_t>(i + lag)];
    acf[static_cast<size_t>(lag)] = dot / static_cast<double>(n - lag);
  }
  const auto at = [&](int64_t lag) { return acf[static_cast<size_t>(lag)]; };

  int64_t bestLag = minLag;
  double bestScore = -std::numeric_limits<double>::infinity();
  for (int64_t lag = minLag; lag <= maxLag; ++lag) {
    const double bpm = 60 * fps / static_cast<double>(lag);
    const double octaves = std::log2(bpm / 120) / 0.8;
    const double prior = std::exp(-0.5 * octaves * octaves);
    const double strength = 2 * lag <= maxLag + 1 ? at(lag) + 0.5 * at(2 * lag) : at(lag);
    const double score = prior * strength;
    if (score > bestScore) {
      bestScore = score;
      bestLag = lag;
    }
  }
  while (60 * fps / static_cast<double>(bestLag) > 160 && 2 * bestLag <= maxLag + 1 &&
         at(2 * bestLag) >= 0.4 * at(bestLag))
    bestLag *= 2;

  double mean = 0;
  for (int64_t lag = minLag; lag <= maxLag; ++lag) mean += at(lag);
  mean /= static_cast<double>(maxLag - minLag + 1);
  const double confidence = mean > 0 ? clamped((at(bestLag) / mean - 1) / 3, 0.0, 1.0) : 0.0;

  const Beats beats = finePeriodAndPhase(env, bestLag, progress);
  const double bpm = 60 * fps / beats.period;
  const int bar = std::max(beatsPerBar, 1);
  const int slot = downbeatSlot(view, 0, view.frameCount(), beats, bar, progress);

  const double beatFrames = 60 / bpm * sampleRate;
  const int64_t origin = s - kLead;
  const auto firstBeat = static_cast<double>(origin + roundedInt(beats.phase * kHop) + kBeatOffset);
  const auto downbeat =
      static_cast<double>(origin + roundedInt((beats.phase + beats.period * slot) * kHop) + kBeatOffset);
  return TempoEstimate{bpm, earliestFromStart(downbeat, beatFrames * bar), earliestFromStart(firstBeat, beatFrames),
                       confidence};
}

} // namespace quar
