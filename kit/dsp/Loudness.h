// Loudness measurement after ITU-R BS.1770 and EBU R 128: gated integrated loudness, loudness
// range, momentary (400 ms) and short-term (3 s) curves at a 100 ms hop, per-channel true and
// sample peaks, and RMS level. Loudness values are LUFS (−0.691 + 10·log10 of the weighted mean
// square of the K-weighted signal), ranges LU, levels dBFS/dBTP; −∞ stands for "nothing". A NaN
// or infinite sample counts as silence in every figure.
// LoudnessAnalyzer measures any AudioSource offline; LoudnessEngine is the streaming core it
// shares with LoudnessMeter. Engines and meters belong to one thread (they spread channels over
// parallelFor internally) and allocate as their history grows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/AudioSource.h"
#include "dsp/KWeighting.h"
#include "dsp/TruePeak.h"

namespace quar {

struct LoudnessResult {
  double integratedLUFS = 0;
  double loudnessRangeLU = 0;
  double truePeakDBTP = 0;
  std::vector<double> truePeakPerChannel;  // dBTP
  double samplePeakDBFS = 0;
  std::vector<double> samplePeakPerChannel;  // dBFS
  double maxMomentaryLUFS = 0;
  double maxShortTermLUFS = 0;
  double rmsDBFS = 0;  // over all channels and frames
  double hopSeconds = 0.1;
  std::vector<float> momentary;  // LUFS at the end of every 100 ms sub-block, floored at −200
  std::vector<float> shortTerm;  // likewise for the 3 s window

  bool operator==(const LoudnessResult&) const = default;
};

// A part of a chunk that lies inside one 100 ms sub-block.
struct LoudnessSegment {
  int64_t start = 0;
  int64_t count = 0;
};

// One channel of an engine: its K-weighting filter and true-peak detector.
class LoudnessChannelState {
public:
  LoudnessChannelState(double sampleRate, double weight, bool trackRMS, bool trackPeaks);

  // Filters `count` samples and sets segmentSums[j] to the K-weighted energy of segment j
  // (weighted channels only); updates the peaks when they are tracked.
  void process(const float* samples, int64_t count, std::span<const LoudnessSegment> segments);
  // Adds the samples' squares to the RMS sum when it is tracked; may run beside process.
  void sumSquares(const float* samples, int64_t count);
  void reset();

  KWeightingFilter filter;
  TruePeakDetector peak;
  double weight;
  bool trackRMS;
  bool trackPeaks;
  double rawSumSquares = 0;
  std::vector<double> segmentSums;
};

class LoudnessEngine {
public:
  // `channelWeights` absent: the default weights for the channel count. sampleRate in Hz, > 0.
  // Without `trackPeaks` the channels' peak detectors stay untouched for the owner to fill.
  LoudnessEngine(int channelCount, double sampleRate, const std::optional<std::vector<double>>& channelWeights,
                 bool trackRMS, bool trackPeaks = true);

  // Takes one chunk of planar audio (at least channelCount views of equal length).
  void process(ChannelViews chunk);
  // The same, running extra(i) for every i in [0, extraTasks) in the loop that processes the
  // channels (concurrently with them for chunks of 8192 frames or more). Nothing runs for an
  // engine without channels or an empty chunk.
  void process(ChannelViews chunk, int64_t extraTasks, const std::function<void(int64_t task)>& extra);
  LoudnessResult result() const;
  void reset();

  // Mean-square energies of W-sub-block windows ending at every completed sub-block; with
  // `completeOnly` only windows that lie wholly inside the measurement, otherwise windows
  // reaching before the start count the missing sub-blocks as silence.
  std::vector<double> windowEnergies(int subblocks, bool completeOnly) const;
  // Loudness of the last W completed sub-blocks (missing ones as silence); −∞ without any.
  double windowLUFS(int subblocks) const;

  double integratedLUFS() const;
  double loudnessRangeLU() const;
  // The largest per-channel true peak in dBTP; −∞ without channels.
  double truePeakDBTP() const;

  int channelCount() const { return channelCount_; }
  LoudnessChannelState& channel(int index) { return *channels_[static_cast<size_t>(index)]; }

private:
  int64_t subblockLength(int64_t index) const;

  int channelCount_;
  double sampleRate_;
  std::vector<std::unique_ptr<LoudnessChannelState>> channels_;
  std::vector<double> weights_;
  std::vector<double> subblockSums_;
  std::vector<int64_t> subblockCounts_;
  std::vector<double> accum_;
  int64_t fill_ = 0;
  int64_t framesTotal_ = 0;
  std::vector<LoudnessSegment> segments_;
  std::vector<bool> completes_;
};

struct LoudnessAnalyzer {
  LoudnessAnalyzer() = delete;

  static constexpr float silenceFloorLUFS = -200;
  static constexpr int64_t chunkFrames = 65536;

  // Measures `range` (default: the whole source, clamped to it). `progress` gets the fraction
  // done, starting with 0; false throws CancellationError. Each chunk's peaks are measured in
  // pieces beside the engine on the shared worker pool.
  static LoudnessResult analyze(const AudioSource& source, std::optional<FrameRange> range = std::nullopt,
                                const std::optional<std::vector<double>>& channelWeights = std::nullopt,
                                const std::function<bool(double)>& progress = {});
  // Ungated loudness of one (short) range; the K-filter settles on up to 200 ms read before it.
  static double windowLoudness(const AudioSource& source, FrameRange range,
                               const std::optional<std::vector<double>>& channelWeights = std::nullopt);

  // ITU-R BS.775 order: the LFE (index 3 of 5.1 and 7.x) weighs 0, surrounds 1.41.
  static std::vector<double> defaultChannelWeights(int channelCount);
  // Given weights cut or extended with 1.0 to channelCount entries; absent: the defaults.
  static std::vector<double> resolvedWeights(const std::optional<std::vector<double>>& weights, int channelCount);
  // Loudness of the energies above −70 LUFS and then above `relativeGate` LU below their mean.
  static double gatedLoudness(std::span<const double> energies, double relativeGate);
  // Spread between the 10th and 95th percentiles of the gated short-term loudness (LU).
  static double loudnessRange(std::span<const double> energies);
  // −0.691 + 10·log10(energy); −∞ for energy ≤ 0.
  static double loudness(double energy);
};

// A live meter over an engine without RMS tracking.
class LoudnessMeter {
public:
  LoudnessMeter(int channelCount, double sampleRate, const std::optional<std::vector<double>>& channelWeights = std::nullopt)
      : engine_(channelCount, sampleRate, channelWeights, false) {}

  void process(ChannelViews chunk) { engine_.process(chunk); }
  void reset() { engine_.reset(); }

  double momentaryLUFS() const { return engine_.windowLUFS(4); }
  double shortTermLUFS() const { return engine_.windowLUFS(30); }
  double integratedLUFS() const { return engine_.integratedLUFS(); }
  double loudnessRangeLU() const { return engine_.loudnessRangeLU(); }
  double truePeakDBTP() const { return engine_.truePeakDBTP(); }

private:
  LoudnessEngine engine_;
};

} // namespace quar

template <>
struct std::hash<quar::LoudnessResult> {
  size_t operator()(const quar::LoudnessResult& r) const noexcept;
};
