// A NaN or infinity in float audio harms only its own sample: every measurement and every
// operation gives the other samples exactly what it gives the same audio with those samples 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/AudioContent.h"
#include "core/EffectProcessing.h"
#include "core/LoudnessProcessing.h"
#include "core/Processing.h"
#include "dsp/Limiter.h"
#include "dsp/Loudness.h"
#include "dsp/LoudnessTestSupport.h"
#include "dsp/SignalAnalysis.h"
#include "dsp/effects/processors/EQProcessor.h"

using namespace quar;
using namespace quar::loudnesstest;

namespace {

constexpr double rate = 48000;
constexpr int64_t frames = 7 * 48000;
constexpr int64_t fiveSeconds = 5 * 48000;

// Quiet stereo pink noise with an accent every half second, so that reaching −14 LUFS needs the
// limiter; with a NaN at frame 0 of the left channel and +∞ at 5 s of the right one
// (`dirty`), or 0 in their place.
Channels music(bool dirty) {
  Channels channels{pinkNoise(frames, 41), pinkNoise(frames, 42)};
  for (auto& channel : channels)
    for (int64_t i = 0; i < frames; ++i)
      channel[static_cast<size_t>(i)] *= static_cast<float>(0.06 * (1 + 5 * std::exp(-static_cast<double>(i % 24000) / 240)));
  channels[0][0] = dirty ? std::numeric_limits<float>::quiet_NaN() : 0.0f;
  channels[1][fiveSeconds] = dirty ? std::numeric_limits<float>::infinity() : 0.0f;
  return channels;
}

std::vector<double> flattened(const SignalStats& s) {
  std::vector<double> values(s.peak.begin(), s.peak.end());
  values.insert(values.end(), s.rms.begin(), s.rms.end());
  values.insert(values.end(), s.dcOffset.begin(), s.dcOffset.end());
  values.insert(values.end(), s.peakFrame.begin(), s.peakFrame.end());
  return values;
}

std::vector<double> flattened(const LoudnessResult& r) {
  std::vector<double> values{r.integratedLUFS,   r.loudnessRangeLU,  r.truePeakDBTP, r.samplePeakDBFS,
                             r.maxMomentaryLUFS, r.maxShortTermLUFS, r.rmsDBFS};
  values.insert(values.end(), r.truePeakPerChannel.begin(), r.truePeakPerChannel.end());
  values.insert(values.end(), r.samplePeakPerChannel.begin(), r.samplePeakPerChannel.end());
  values.insert(values.end(), r.momentary.begin(), r.momentary.end());
  values.insert(values.end(), r.shortTerm.begin(), r.shortTerm.end());
  return values;
}

// Bins, groups, whole blocks and exact edges, around both bad samples.
std::vector<double> peakFigures(const AudioContent& content) {
  std::vector<double> values;
  for (int c = 0; c < 2; ++c)
    for (FrameRange range : {content.fullRange(), FrameRange{0, 300}, FrameRange{100, 65636},
                             FrameRange{fiveSeconds - 10, fiveSeconds + 300}, FrameRange{fiveSeconds, fiveSeconds + 256}}) {
      const PeakSummary p = content.peaks(c, range);
      values.insert(values.end(), {p.min, p.max, p.sumSquares, static_cast<double>(p.count)});
    }
  for (float peak : samplePeaks(content)) values.push_back(peak);
  return values;
}

AudioContent equalised(const AudioContent& content) {
  EQProcessor eq;
  eq.apply(EQSettings(std::vector<EQBand>{EQBand(EQBandType::lowCut, 80, 0, 0.707, 24, true),
                                          EQBand(EQBandType::peak, 1000, 6, 1, 12, true),
                                          EQBand(EQBandType::highShelf, 8000, -4, 0.707, 12, true)},
                      -1));
  EffectProcessor* chain[] = {&eq};
  return applyingEffects(content, chain, content.fullRange(), std::nullopt, EffectTailMode::truncate);
}

// The loudness panel's preset: −14 LUFS with true peaks limited to −1 dBTP.
AudioContent loudnessPreset(const AudioContent& content) {
  const LoudnessNormalization::Plan plan = LoudnessNormalization::plan(LoudnessAnalyzer::analyze(content), -14, -1);
  EXPECT_TRUE(plan.needsLimiting);
  return adjustingLoudness(content, content.fullRange(), plan, -14.0, -1, true, 0.1, 5);
}

// Each non-finite input sample is still NaN, or the same infinity, in `output`; every other
// sample equals `expected`.
::testing::AssertionResult keepsBadSamplesAndMatches(const Channels& input, const Channels& output, const Channels& expected) {
  for (size_t c = 0; c < input.size(); ++c) {
    if (output[c].size() != input[c].size()) return ::testing::AssertionFailure() << "length " << output[c].size();
    for (size_t i = 0; i < input[c].size(); ++i) {
      const float in = input[c][i], out = output[c][i];
      const bool kept = std::isnan(in) ? std::isnan(out) : std::isinf(in) ? out == in : out == expected[c][i];
      if (!kept)
        return ::testing::AssertionFailure() << "channel " << c << " frame " << i << ": " << out << " from " << in
                                             << ", clean " << expected[c][i];
    }
  }
  return ::testing::AssertionSuccess();
}

} // namespace

TEST(NonFiniteSamples, MeasurementsCountThemAsSilence) {
  const AudioContent dirty(music(true), rate), clean(music(false), rate);
  const struct {
    std::string name;
    std::function<std::vector<double>(const AudioContent&)> measure;
  } cases[] = {
      {"peaks", peakFigures},
      {"statistics", [](const AudioContent& c) { return flattened(SignalAnalysis::stats(c)); }},
      {"selection statistics",
       [](const AudioContent& c) { return flattened(SignalAnalysis::stats(c, FrameRange{fiveSeconds, frames})); }},
      {"loudness", [](const AudioContent& c) { return flattened(LoudnessAnalyzer::analyze(c)); }},
      {"window loudness",
       [](const AudioContent& c) {
         return std::vector<double>{LoudnessAnalyzer::windowLoudness(c, FrameRange{fiveSeconds - 4800, fiveSeconds + 4800})};
       }},
      {"DC offset", [](const AudioContent& c) { return dcOffsets(c); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const std::vector<double> expected = test.measure(clean);
    for (double value : expected) ASSERT_FALSE(std::isnan(value));
    EXPECT_EQ(test.measure(dirty), expected);
  }
  EXPECT_GT(LoudnessAnalyzer::analyze(dirty).integratedLUFS, -40);
}

// The bad samples stay where they are and what they are (an infinity is only scaled); every other
// sample equals the result on the clean audio.
TEST(NonFiniteSamples, OperationsTreatTheOtherSamplesAsWithoutThem) {
  const AudioContent dirty(music(true), rate), clean(music(false), rate);
  const std::vector<std::vector<float>> input = dirty.readChannels(dirty.fullRange());
  const struct {
    std::string name;
    std::function<AudioContent(const AudioContent&)> apply;
  } cases[] = {
      {"Normalize Peak to -1 dBFS", [](const AudioContent& c) { return normalizingPeak(c, -1); }},
      {"Normalize Peak per channel", [](const AudioContent& c) { return normalizingPeak(c, -1, std::nullopt, std::nullopt, true); }},
      {"equaliser", equalised},
      {"loudness preset", loudnessPreset},
      {"Remove DC Offset", [](const AudioContent& c) { return removingDCOffset(c); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const std::vector<std::vector<float>> expected = test.apply(clean).readChannels(clean.fullRange());
    const AudioContent result = test.apply(dirty);
    EXPECT_TRUE(keepsBadSamplesAndMatches(input, result.readChannels(result.fullRange()), expected));
  }
  // The gain is the clean file's: its peak reaches −1 dBFS.
  const std::vector<float> peaks = samplePeaks(normalizingPeak(dirty, -1));
  EXPECT_NEAR(20 * std::log10(std::max(peaks[0], peaks[1])), -1, 1e-4);
}
