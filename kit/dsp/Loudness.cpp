#include "dsp/Loudness.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "base/FiniteSample.h"
#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"

namespace quar {
namespace {

constexpr double minusInfinity = -std::numeric_limits<double>::infinity();
// −70 LUFS as a mean-square energy.
const double absoluteGate = std::pow(10.0, (-70 + 0.691) / 10);
constexpr int64_t parallelMinFrames = 8192;
constexpr int64_t rmsPiece = 4096;

double levelDB(double magnitude) { return magnitude > 0 ? 20 * std::log10(magnitude) : minusInfinity; }

double mean(std::span<const double> values) {
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

// The energies strictly above the absolute gate and then strictly above `relativeLU` below
// their mean loudness.
std::vector<double> gated(std::span<const double> energies, double relativeLU) {
  std::vector<double> kept;
  for (double e : energies)
    if (e > absoluteGate) kept.push_back(e);
  if (kept.empty()) return kept;
  const double relative = std::max(std::pow(10.0, (relativeLU + LoudnessAnalyzer::loudness(mean(kept)) + 0.691) / 10),
                                   absoluteGate);
  std::erase_if(kept, [&](double e) { return !(e > relative); });
  return kept;
}

// The true peaks of a stream of chunks, every chunk measured in pieces concurrently: piece p of
// each chunk goes to detector p, primed with the samples before the piece. Every output of one
// detector streaming the whole range is computed by exactly one of them, so the maxima agree.
class PiecewisePeaks {
public:
  static constexpr int pieces = 8;

  PiecewisePeaks(int channels, double sampleRate)
      : sampleRate_(sampleRate),
        detectors_(pieces, std::vector<TruePeakDetector>(static_cast<size_t>(channels), TruePeakDetector(sampleRate))),
        history_(static_cast<size_t>(channels), std::vector<float>(history, 0.0f)) {}

  // Measures piece `piece` of every channel; distinct pieces may run concurrently.
  void measure(ChannelViews chunk, int piece) {
    const auto frames = static_cast<int64_t>(chunk[0].size());
    const int64_t length = (frames + pieces - 1) / pieces;
    const int64_t start = piece * length, end = std::min(frames, start + length);
    if (start >= end) return;
    float before[history];
    for (size_t c = 0; c < history_.size(); ++c) {
      const float* samples = chunk[c].data();
      // The `history` samples before `start`, from the previous chunks where the chunk has fewer.
      const int64_t fromChunk = std::min(start, history);
      std::copy(history_[c].end() - (history - fromChunk), history_[c].end(), before);
      std::copy(samples + start - fromChunk, samples + start, before + history - fromChunk);
      TruePeakDetector& detector = detectors_[static_cast<size_t>(piece)][c];
      detector.prime(before);
      detector.process(samples + start, end - start);
    }
  }
  // Keeps the chunk's last samples as the history of the next one; after every piece is measured.
  void advance(ChannelViews chunk) {
    for (size_t c = 0; c < history_.size(); ++c) {
      std::vector<float>& kept = history_[c];
      const auto taken = static_cast<std::ptrdiff_t>(std::min<size_t>(history, chunk[c].size()));
      kept.insert(kept.end(), chunk[c].end() - taken, chunk[c].end());
      kept.erase(kept.begin(), kept.end() - history);
    }
  }
  // Sets the channel's sample and inter-sample peak on `detector`, the stream flushed with
  // silence so that the last samples' inter-sample peaks are seen.
  void finish(int channel, TruePeakDetector& detector) const {
    const auto c = static_cast<size_t>(channel);
    TruePeakDetector flush(sampleRate_);
    flush.prime(history_[c].data());
    const float zeros[TruePeakInterpolator::taps / 2] = {};
    flush.process(zeros, TruePeakInterpolator::taps / 2);
    detector.samplePeak = 0;
    detector.interPeak = flush.interPeak;
    for (const auto& piece : detectors_) {
      detector.samplePeak = std::max(detector.samplePeak, piece[c].samplePeak);
      detector.interPeak = std::max(detector.interPeak, piece[c].interPeak);
    }
  }

private:
  static constexpr int64_t history = TruePeakInterpolator::taps - 1;

  double sampleRate_;
  std::vector<std::vector<TruePeakDetector>> detectors_;  // [piece][channel]
  std::vector<std::vector<float>> history_;              // [channel]: the last `history` samples
};

} // namespace

// MARK: channel state

LoudnessChannelState::LoudnessChannelState(double sampleRate, double weight, bool trackRMS, bool trackPeaks)
    : filter(sampleRate), peak(sampleRate), weight(weight), trackRMS(trackRMS), trackPeaks(trackPeaks) {}

void LoudnessChannelState::process(const float* samples, int64_t count, std::span<const LoudnessSegment> segments) {
  if (segmentSums.size() < segments.size()) segmentSums.resize(segments.size(), 0);
  if (weight != 0) {
    const double* y = filter.process(samples, count);
    for (size_t j = 0; j < segments.size(); ++j) {
      double sum = 0;
      const double* part = y + segments[j].start;
      for (int64_t i = 0; i < segments[j].count; ++i) sum += part[i] * part[i];
      segmentSums[j] = sum;
    }
  }
  if (trackPeaks) peak.process(samples, count);
}

void LoudnessChannelState::sumSquares(const float* samples, int64_t count) {
  if (!trackRMS) return;
  for (int64_t start = 0; start < count; start += rmsPiece) {
    const int64_t end = std::min(count, start + rmsPiece);
    float sum = 0;
    for (int64_t i = start; i < end; ++i) {
      const float x = finiteOrZero(samples[i]);
      sum += x * x;
    }
    rawSumSquares += sum;
  }
}

void LoudnessChannelState::reset() {
  filter.reset();
  peak.reset();
  rawSumSquares = 0;
}

// MARK: engine

LoudnessEngine::LoudnessEngine(int channelCount, double sampleRate,
                               const std::optional<std::vector<double>>& channelWeights, bool trackRMS,
                               bool trackPeaks)
    : channelCount_(std::max(channelCount, 0)),
      sampleRate_(sampleRate),
      weights_(LoudnessAnalyzer::resolvedWeights(channelWeights, channelCount)),
      accum_(static_cast<size_t>(channelCount_), 0) {
  QUAR_PRECONDITION(std::isfinite(sampleRate) && sampleRate > 0, "Loudness needs a positive sample rate");
  for (double weight : weights_)
    channels_.push_back(std::make_unique<LoudnessChannelState>(sampleRate, weight, trackRMS, trackPeaks));
}

int64_t LoudnessEngine::subblockLength(int64_t index) const {
  const auto bound = [&](int64_t k) { return checkedInt(sampleRate_ * static_cast<double>(k) / 10); };
  return bound(index + 1) - bound(index);
}

void LoudnessEngine::process(ChannelViews chunk) { process(chunk, 0, {}); }

void LoudnessEngine::process(ChannelViews chunk, int64_t extraTasks, const std::function<void(int64_t)>& extra) {
  if (channelCount_ <= 0 || chunk.size() < static_cast<size_t>(channelCount_) || chunk[0].empty()) return;
  const auto frames = static_cast<int64_t>(chunk[0].size());

  segments_.clear();
  completes_.clear();
  auto k = static_cast<int64_t>(subblockCounts_.size());
  int64_t f = fill_;
  for (int64_t position = 0; position < frames;) {
    const int64_t length = subblockLength(k);
    const int64_t n = std::min(length - f, frames - position);
    segments_.push_back({position, n});
    const bool completes = f + n == length;
    completes_.push_back(completes);
    position += n;
    if (completes) {
      ++k;
      f = 0;
    } else {
      f += n;
    }
  }

  // Per channel, the filter and the RMS sum run as separate tasks: they touch different state.
  const int64_t tasks = 2 * channelCount_ + extraTasks;
  parallelFor(tasks, tasks > 1 && frames >= parallelMinFrames, [&](int64_t task) {
    if (task >= 2 * channelCount_) return extra(task - 2 * channelCount_);
    const auto c = static_cast<size_t>(task % channelCount_);
    if (task < channelCount_) channels_[c]->process(chunk[c].data(), frames, segments_);
    else channels_[c]->sumSquares(chunk[c].data(), frames);
  });

  for (size_t j = 0; j < segments_.size(); ++j) {
    for (size_t c = 0; c < channels_.size(); ++c)
      if (weights_[c] != 0) accum_[c] += channels_[c]->segmentSums[j];
    fill_ += segments_[j].count;
    if (!completes_[j]) continue;
    double energy = 0;
    for (size_t c = 0; c < channels_.size(); ++c)
      if (weights_[c] != 0) energy += weights_[c] * accum_[c];
    std::fill(accum_.begin(), accum_.end(), 0.0);
    subblockSums_.push_back(energy);
    subblockCounts_.push_back(fill_);
    fill_ = 0;
  }
  framesTotal_ += frames;
}

std::vector<double> LoudnessEngine::windowEnergies(int subblocks, bool completeOnly) const {
  const auto count = static_cast<int64_t>(subblockSums_.size());
  const int64_t w = subblocks;
  std::vector<double> energies;
  for (int64_t e = completeOnly ? w - 1 : 0; e < count; ++e) {
    double sum = 0;
    double frames = sampleRate_ / 10 * static_cast<double>(std::max<int64_t>(w - 1 - e, 0));
    for (int64_t i = std::max<int64_t>(e - w + 1, 0); i <= e; ++i) {
      sum += subblockSums_[static_cast<size_t>(i)];
      frames += static_cast<double>(subblockCounts_[static_cast<size_t>(i)]);
    }
    energies.push_back(sum / frames);
  }
  return energies;
}

double LoudnessEngine::windowLUFS(int subblocks) const {
  const auto count = static_cast<int64_t>(subblockSums_.size());
  if (count == 0) return minusInfinity;
  const int64_t w = subblocks;
  double sum = 0;
  double frames = sampleRate_ / 10 * static_cast<double>(std::max<int64_t>(w - count, 0));
  for (int64_t i = std::max<int64_t>(count - w, 0); i < count; ++i) {
    sum += subblockSums_[static_cast<size_t>(i)];
    frames += static_cast<double>(subblockCounts_[static_cast<size_t>(i)]);
  }
  return LoudnessAnalyzer::loudness(sum / frames);
}

double LoudnessEngine::integratedLUFS() const {
  return LoudnessAnalyzer::gatedLoudness(windowEnergies(4, true), -10);
}

double LoudnessEngine::loudnessRangeLU() const { return LoudnessAnalyzer::loudnessRange(windowEnergies(30, true)); }

double LoudnessEngine::truePeakDBTP() const {
  double result = minusInfinity;
  for (const auto& channel : channels_) result = std::max(result, levelDB(channel->peak.truePeak()));
  return result;
}

LoudnessResult LoudnessEngine::result() const {
  LoudnessResult r;
  r.truePeakDBTP = minusInfinity;
  r.samplePeakDBFS = minusInfinity;
  double sumSquares = 0;
  bool tracksRMS = false;
  for (const auto& channel : channels_) {
    r.truePeakPerChannel.push_back(levelDB(channel->peak.truePeak()));
    r.samplePeakPerChannel.push_back(levelDB(channel->peak.samplePeak));
    r.truePeakDBTP = std::max(r.truePeakDBTP, r.truePeakPerChannel.back());
    r.samplePeakDBFS = std::max(r.samplePeakDBFS, r.samplePeakPerChannel.back());
    sumSquares += channel->rawSumSquares;
    tracksRMS = channel->trackRMS;
  }
  r.rmsDBFS = framesTotal_ < 1 || !tracksRMS
                  ? minusInfinity
                  : levelDB(std::sqrt(sumSquares / (static_cast<double>(framesTotal_) * channelCount_)));
  r.integratedLUFS = integratedLUFS();
  r.loudnessRangeLU = loudnessRangeLU();

  const auto curve = [](const std::vector<double>& energies, double& maximum) {
    std::vector<float> values;
    values.reserve(energies.size());
    maximum = energies.empty() ? minusInfinity
                               : LoudnessAnalyzer::loudness(*std::max_element(energies.begin(), energies.end()));
    for (double e : energies)
      values.push_back(std::max(static_cast<float>(LoudnessAnalyzer::loudness(e)), LoudnessAnalyzer::silenceFloorLUFS));
    return values;
  };
  r.momentary = curve(windowEnergies(4, false), r.maxMomentaryLUFS);
  r.shortTerm = curve(windowEnergies(30, false), r.maxShortTermLUFS);
  r.hopSeconds = 0.1;
  return r;
}

void LoudnessEngine::reset() {
  for (auto& channel : channels_) channel->reset();
  subblockSums_.clear();
  subblockCounts_.clear();
  std::fill(accum_.begin(), accum_.end(), 0.0);
  fill_ = 0;
  framesTotal_ = 0;
}

// MARK: analyzer

std::vector<double> LoudnessAnalyzer::defaultChannelWeights(int channelCount) {
  switch (channelCount) {
    case 1: return {1};
    case 2: return {1, 1};
    case 3: return {1, 1, 1};
    case 4: return {1, 1, 1.41, 1.41};
    case 5: return {1, 1, 1, 1.41, 1.41};
    case 6: return {1, 1, 1, 0, 1.41, 1.41};
    case 7: return {1, 1, 1, 0, 1.41, 1.41, 1.41};
    case 8: return {1, 1, 1, 0, 1.41, 1.41, 1.41, 1.41};
    default: return std::vector<double>(static_cast<size_t>(std::max(channelCount, 0)), 1.0);
  }
}

std::vector<double> LoudnessAnalyzer::resolvedWeights(const std::optional<std::vector<double>>& weights, int channelCount) {
  if (!weights) return defaultChannelWeights(channelCount);
  std::vector<double> resolved(weights->begin(), weights->begin() + std::min<ptrdiff_t>(std::ssize(*weights), std::max(channelCount, 0)));
  resolved.resize(static_cast<size_t>(std::max(channelCount, 0)), 1.0);
  return resolved;
}

double LoudnessAnalyzer::loudness(double energy) { return energy > 0 ? -0.691 + 10 * std::log10(energy) : minusInfinity; }

double LoudnessAnalyzer::gatedLoudness(std::span<const double> energies, double relativeGate) {
  const std::vector<double> kept = gated(energies, relativeGate);
  return kept.empty() ? minusInfinity : loudness(mean(kept));
}

double LoudnessAnalyzer::loudnessRange(std::span<const double> energies) {
  std::vector<double> values = gated(energies, -20);
  for (double& v : values) v = loudness(v);
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n <= 1) return 0;
  const auto at = [&](double fraction) { return values[static_cast<size_t>(static_cast<double>(n - 1) * fraction + 0.5)]; };
  return at(0.95) - at(0.10);
}

LoudnessResult LoudnessAnalyzer::analyze(const AudioSource& source, std::optional<FrameRange> range,
                                         const std::optional<std::vector<double>>& channelWeights,
                                         const std::function<bool(double)>& progress) {
  const FrameRange clamped = range.value_or(source.fullRange()).clamped(source.fullRange());
  const double total = static_cast<double>(std::max<int64_t>(clamped.count(), 1));
  LoudnessEngine engine(source.channelCount(), source.sampleRate(), channelWeights, true, false);
  PiecewisePeaks peaks(engine.channelCount(), source.sampleRate());
  if (progress && !progress(0)) throw CancellationError();
  source.forEachChunk(clamped, chunkFrames, [&](ChannelViews chunk, int64_t start) {
    engine.process(chunk, PiecewisePeaks::pieces,
                   [&](int64_t piece) { peaks.measure(chunk, static_cast<int>(piece)); });
    if (engine.channelCount() > 0) peaks.advance(chunk);
    const auto frames = static_cast<int64_t>(chunk.empty() ? 0 : chunk[0].size());
    if (progress && !progress(static_cast<double>(start + frames - clamped.lowerBound) / total))
      throw CancellationError();
  });
  for (int c = 0; c < engine.channelCount(); ++c) peaks.finish(c, engine.channel(c).peak);
  return engine.result();
}

double LoudnessAnalyzer::windowLoudness(const AudioSource& source, FrameRange range,
                                        const std::optional<std::vector<double>>& channelWeights) {
  const FrameRange clamped = range.clamped(source.fullRange());
  const int channelCount = source.channelCount();
  if (clamped.isEmpty() || channelCount < 1) return minusInfinity;
  const double rate = source.sampleRate();
  const int64_t preRoll = std::min(checkedInt(0.2 * rate), clamped.lowerBound);
  const std::vector<std::vector<float>> samples =
      source.readChannels({clamped.lowerBound - preRoll, clamped.upperBound});
  const std::vector<double> weights = resolvedWeights(channelWeights, channelCount);
  double total = 0;
  for (int c = 0; c < channelCount; ++c) {
    const double weight = weights[static_cast<size_t>(c)];
    if (weight == 0) continue;
    KWeightingFilter filter(rate);
    const auto& channel = samples[static_cast<size_t>(c)];
    const double* y = filter.process(channel.data(), static_cast<int64_t>(channel.size()));
    double energy = 0;
    for (size_t i = static_cast<size_t>(preRoll); i < channel.size(); ++i) energy += y[i] * y[i];
    total += weight * energy;
  }
  return loudness(total / static_cast<double>(clamped.count()));
}

} // namespace quar

size_t std::hash<quar::LoudnessResult>::operator()(const quar::LoudnessResult& r) const noexcept {
  const std::hash<double> hd;
  const std::hash<float> hf;
  size_t seed = 0;
  const auto mix = [&](size_t h) { seed = seed * 31 + h; };
  for (double v : {r.integratedLUFS, r.loudnessRangeLU, r.truePeakDBTP}) mix(hd(v));
  for (double v : r.truePeakPerChannel) mix(hd(v));
  mix(hd(r.samplePeakDBFS));
  for (double v : r.samplePeakPerChannel) mix(hd(v));
  for (double v : {r.maxMomentaryLUFS, r.maxShortTermLUFS, r.rmsDBFS, r.hopSeconds}) mix(hd(v));
  for (float v : r.momentary) mix(hf(v));
  for (float v : r.shortTerm) mix(hf(v));
  return seed;
}
