#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/QuarError.h"
#include "dsp/Loudness.h"
#include "dsp/LoudnessTestSupport.h"

using namespace quar;
using namespace quar::loudnesstest;

namespace {

constexpr double minusInfinity = -std::numeric_limits<double>::infinity();

double dBFS(double db) { return std::pow(10.0, db / 20); }

LoudnessResult analyze(const Channels& channels, double rate,
                       const std::optional<std::vector<double>>& weights = std::nullopt) {
  return LoudnessAnalyzer::analyze(ArraySource(channels, rate), std::nullopt, weights);
}

// A source that counts its reads.
class CountingSource final : public AudioSource {
public:
  int channelCount() const override { return 1; }
  double sampleRate() const override { return 48000; }
  int64_t frameCount() const override { return 200000; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    ++reads;
    std::fill(destinations[0], destinations[0] + range.count(), 0.25f);
  }
  mutable int reads = 0;
};

} // namespace

TEST(LoudnessTest, SteadySinesReadTheirCalibratedLoudness) {
  const double rate = 48000;
  const std::vector<float> quiet = sine(1000, dBFS(-23), rate, 20 * 48000);
  const LoudnessResult stereo = analyze({quiet, quiet}, rate);
  EXPECT_NEAR(stereo.integratedLUFS, -23.0, 0.1);
  EXPECT_NEAR(stereo.maxMomentaryLUFS, -23.0, 0.1);
  EXPECT_NEAR(stereo.maxShortTermLUFS, -23.0, 0.1);
  EXPECT_NEAR(stereo.rmsDBFS, -26.01, 0.01);
  EXPECT_EQ(stereo.momentary.size(), 200u);
  EXPECT_EQ(stereo.shortTerm.size(), 200u);
  EXPECT_EQ(stereo.hopSeconds, 0.1);
  EXPECT_NEAR(stereo.momentary.back(), -23.0, 0.1);
  EXPECT_LT(stereo.loudnessRangeLU, 0.1);

  const LoudnessResult mono = analyze({sine(1000, 1.0, 44100, 5 * 44100)}, 44100);
  EXPECT_NEAR(mono.integratedLUFS, -3.0, 0.05);
  EXPECT_NEAR(mono.truePeakDBTP, 0.0, 0.05);
  EXPECT_NEAR(mono.samplePeakDBFS, 0.0, 0.05);
  EXPECT_NEAR(mono.rmsDBFS, -3.01, 0.01);
}

TEST(LoudnessTest, ShortAudioHasCurvesButNoIntegratedLoudness) {
  // 399 ms: three complete sub-blocks, no complete 400 ms window.
  const LoudnessResult r = analyze({sine(1000, 0.5, 48000, 19152)}, 48000);
  EXPECT_EQ(r.integratedLUFS, minusInfinity);
  ASSERT_EQ(r.momentary.size(), 3u);
  // Partial windows count the missing sub-blocks as silence.
  EXPECT_NEAR(r.momentary[0], r.momentary[2] - 10 * std::log10(3.0), 0.05);
  EXPECT_EQ(r.loudnessRangeLU, 0.0);
  EXPECT_GT(r.maxMomentaryLUFS, -20);
}

TEST(LoudnessTest, SilenceMeasuresAsNothing) {
  const LoudnessResult r = analyze({std::vector<float>(48000), std::vector<float>(48000)}, 48000);
  EXPECT_EQ(r.integratedLUFS, minusInfinity);
  EXPECT_EQ(r.loudnessRangeLU, 0.0);
  EXPECT_EQ(r.truePeakDBTP, minusInfinity);
  EXPECT_EQ(r.samplePeakDBFS, minusInfinity);
  EXPECT_EQ(r.truePeakPerChannel, (std::vector<double>{minusInfinity, minusInfinity}));
  EXPECT_EQ(r.rmsDBFS, minusInfinity);
  EXPECT_EQ(r.maxMomentaryLUFS, minusInfinity);
  ASSERT_EQ(r.momentary.size(), 10u);
  for (float v : r.momentary) EXPECT_EQ(v, -200.0f);
  for (float v : r.shortTerm) EXPECT_EQ(v, -200.0f);
}

TEST(LoudnessTest, LowFrequencyChannelCountsForPeaksOnly) {
  const double rate = 48000;
  const std::vector<float> tone = sine(1000, dBFS(-20), rate, 2 * 48000);
  Channels channels(6, std::vector<float>(tone.size()));
  channels[0] = tone;
  const LoudnessResult without = analyze(channels, rate);
  channels[3] = sine(60, 0.9, rate, 2 * 48000);
  const LoudnessResult with = analyze(channels, rate);
  EXPECT_EQ(with.integratedLUFS, without.integratedLUFS);
  EXPECT_NEAR(with.integratedLUFS, -23.0, 0.1);  // a −20 dBFS sine on one channel
  ASSERT_EQ(with.truePeakPerChannel.size(), 6u);
  EXPECT_NEAR(with.samplePeakPerChannel[3], 20 * std::log10(0.9), 0.01);
  EXPECT_NEAR(with.truePeakDBTP, 20 * std::log10(0.9), 0.01);
  EXPECT_EQ(with.truePeakPerChannel[1], minusInfinity);

  // Explicit weights: a weight of 2 on the left channel adds 3 dB.
  const LoudnessResult weighted = analyze({tone, std::vector<float>(tone.size())}, rate, std::vector<double>{2});
  EXPECT_NEAR(weighted.integratedLUFS, -23.0 + 10 * std::log10(2.0), 0.1);
}

TEST(LoudnessTest, WeightsResolveAgainstTheChannelCount) {
  using W = std::vector<double>;
  EXPECT_EQ(LoudnessAnalyzer::resolvedWeights(W{2}, 2), (W{2, 1}));
  EXPECT_EQ(LoudnessAnalyzer::resolvedWeights(W{2, 3, 4}, 2), (W{2, 3}));
  EXPECT_EQ(LoudnessAnalyzer::resolvedWeights(W{}, 6), W(6, 1.0));
  EXPECT_EQ(LoudnessAnalyzer::resolvedWeights(std::nullopt, 6), (W{1, 1, 1, 0, 1.41, 1.41}));
  EXPECT_EQ(LoudnessAnalyzer::defaultChannelWeights(4), (W{1, 1, 1.41, 1.41}));
  EXPECT_EQ(LoudnessAnalyzer::defaultChannelWeights(8), (W{1, 1, 1, 0, 1.41, 1.41, 1.41, 1.41}));
  EXPECT_EQ(LoudnessAnalyzer::defaultChannelWeights(10), W(10, 1.0));
  EXPECT_EQ(LoudnessAnalyzer::defaultChannelWeights(0), W{});
}

TEST(LoudnessTest, GatingDropsQuietWindows) {
  const auto energy = [](double lufs) { return std::pow(10.0, (lufs + 0.691) / 10); };
  const struct {
    std::vector<double> lufs;
    double expected;
  } cases[] = {
      {{}, minusInfinity},
      {{-75, -80}, minusInfinity},               // all below the absolute gate
      {{-20, -20, -75}, -20},                    // absolute gate
      {{-20, -20, -40}, -20},                    // relative gate (−10 LU below the mean)
      {{-20, -25}, 10 * std::log10((std::pow(10, -2.0) + std::pow(10, -2.5)) / 2)},
  };
  for (const auto& c : cases) {
    std::vector<double> energies;
    for (double l : c.lufs) energies.push_back(energy(l));
    const double got = LoudnessAnalyzer::gatedLoudness(energies, -10);
    if (std::isinf(c.expected))
      EXPECT_EQ(got, c.expected);
    else
      EXPECT_NEAR(got, c.expected, 1e-9);
  }
}

TEST(LoudnessTest, LoudnessRangeOfTwoLevels) {
  const double rate = 48000;
  std::vector<float> x = sine(1000, dBFS(-20), rate, 20 * 48000);
  const std::vector<float> quiet = sine(1000, dBFS(-30), rate, 20 * 48000);
  x.insert(x.end(), quiet.begin(), quiet.end());
  const LoudnessResult r = analyze({x, x}, rate);
  EXPECT_NEAR(r.loudnessRangeLU, 10.0, 1.0);
  const Reference reference = referenceLoudness({x, x}, rate);
  EXPECT_NEAR(r.loudnessRangeLU, reference.loudnessRangeLU, 0.1);
  EXPECT_NEAR(r.integratedLUFS, reference.integratedLUFS, 0.05);
}

TEST(LoudnessTest, AgreesWithAnOutsideMeterOnProgramMaterial) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    SCOPED_TRACE(rate);
    // Noise whose level steps every 1.5 s, with a quiet gap that the gates must drop.
    const auto frames = static_cast<int64_t>(12 * rate);
    Channels channels{pinkNoise(frames, 1), pinkNoise(frames, 2)};
    const double levels[] = {0.5, 0.1, 1.0, 0.001, 0.3, 0.05, 0.8, 0.2};
    for (auto& channel : channels)
      for (size_t i = 0; i < channel.size(); ++i)
        channel[i] *= static_cast<float>(levels[static_cast<size_t>(static_cast<double>(i) / (1.5 * rate)) % 8]);
    const LoudnessResult r = analyze(channels, rate);
    const Reference reference = referenceLoudness(channels, rate);
    EXPECT_NEAR(r.integratedLUFS, reference.integratedLUFS, 0.05);
    EXPECT_NEAR(r.loudnessRangeLU, reference.loudnessRangeLU, 0.2);
    EXPECT_NEAR(r.truePeakDBTP, reference.truePeakDBTP, 0.1);
    EXPECT_EQ(r.samplePeakDBFS, reference.samplePeakDBFS);
  }
}

TEST(LoudnessTest, SubBlocksFollowTheRateWithoutDrift) {
  // 11025 Hz: sub-blocks alternate between 1102 and 1103 frames, ten to the second.
  const LoudnessResult r = analyze({sine(1000, 0.5, 11025, 11025)}, 11025);
  EXPECT_EQ(r.momentary.size(), 10u);
  const LoudnessResult longer = analyze({sine(1000, 0.5, 11025, 11026)}, 11025);
  EXPECT_EQ(longer.momentary.size(), 10u);
}

TEST(LoudnessTest, StreamingInAnyChunksMatchesOneAnalysis) {
  const double rate = 44100;
  Channels channels{pinkNoise(5 * 44100, 3), pinkNoise(5 * 44100, 4)};
  const LoudnessResult whole = analyze(channels, rate);

  LoudnessEngine engine(2, rate, std::nullopt, true);
  const int64_t sizes[] = {1, 4409, 4410, 100, 20000, 7};
  size_t position = 0;
  for (size_t i = 0; position < channels[0].size(); ++i) {
    const size_t n = std::min<size_t>(static_cast<size_t>(sizes[i % 6]), channels[0].size() - position);
    const std::span<const float> views[] = {{channels[0].data() + position, n}, {channels[1].data() + position, n}};
    engine.process(views);
    position += n;
  }
  const LoudnessResult streamed = engine.result();
  EXPECT_NEAR(streamed.integratedLUFS, whole.integratedLUFS, 1e-9);
  EXPECT_NEAR(streamed.loudnessRangeLU, whole.loudnessRangeLU, 1e-9);
  EXPECT_EQ(streamed.samplePeakPerChannel, whole.samplePeakPerChannel);
  ASSERT_EQ(streamed.momentary.size(), whole.momentary.size());
  for (size_t i = 0; i < whole.momentary.size(); ++i) EXPECT_NEAR(streamed.momentary[i], whole.momentary[i], 1e-4);

  engine.reset();
  EXPECT_EQ(engine.result().momentary.size(), 0u);
  EXPECT_EQ(engine.result().integratedLUFS, minusInfinity);
}

TEST(LoudnessTest, MeterFollowsTheLastWindows) {
  const double rate = 48000;
  LoudnessMeter meter(1, rate);
  EXPECT_EQ(meter.momentaryLUFS(), minusInfinity);
  EXPECT_EQ(meter.truePeakDBTP(), minusInfinity);
  const std::vector<float> loud = sine(1000, dBFS(-10), rate, 4 * 48000);
  const std::vector<float> quiet = sine(1000, dBFS(-30), rate, 48000);
  const std::span<const float> loudView[] = {loud};
  const std::span<const float> quietView[] = {quiet};
  meter.process(loudView);
  meter.process(quietView);
  EXPECT_NEAR(meter.momentaryLUFS(), -33.0, 0.1);
  EXPECT_NEAR(meter.shortTermLUFS(), -13.0 - 10 * std::log10(1.5), 0.3);  // 2 s loud, 1 s quiet
  EXPECT_NEAR(meter.truePeakDBTP(), -10.0, 0.05);
  EXPECT_GT(meter.integratedLUFS(), -14.0);
  meter.reset();
  EXPECT_EQ(meter.integratedLUFS(), minusInfinity);
}

TEST(LoudnessTest, WindowLoudnessIsUngatedOverTheRange) {
  const double rate = 48000;
  std::vector<float> x(48000);
  const std::vector<float> tone = sine(1000, dBFS(-23), rate, 48000);
  x.insert(x.end(), tone.begin(), tone.end());
  const ArraySource source({x, x}, rate);
  EXPECT_NEAR(LoudnessAnalyzer::windowLoudness(source, {48000, 96000}), -23.0, 0.05);
  // Half silence, half tone: 3 dB lower, no gate.
  EXPECT_NEAR(LoudnessAnalyzer::windowLoudness(source, {24000, 72000}), -26.0, 0.1);
  EXPECT_NEAR(LoudnessAnalyzer::windowLoudness(source, {48000, 200000}), -23.0, 0.05);  // clamped
  EXPECT_EQ(LoudnessAnalyzer::windowLoudness(source, {100, 100}), minusInfinity);
  EXPECT_EQ(LoudnessAnalyzer::windowLoudness(source, {0, 1000}), minusInfinity);
  EXPECT_EQ(LoudnessAnalyzer::windowLoudness(source, {48000, 96000}, std::vector<double>{0, 0}), minusInfinity);
}

TEST(LoudnessTest, ProgressReportsAndCancels) {
  const CountingSource source;
  std::vector<double> fractions;
  LoudnessAnalyzer::analyze(source, FrameRange{1000, 150000}, std::nullopt, [&](double f) {
    fractions.push_back(f);
    return true;
  });
  ASSERT_EQ(fractions.size(), 4u);
  EXPECT_EQ(fractions.front(), 0.0);
  EXPECT_EQ(fractions.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));

  const int readsBefore = source.reads;
  EXPECT_THROW(LoudnessAnalyzer::analyze(source, std::nullopt, std::nullopt, [](double) { return false; }),
               CancellationError);
  EXPECT_EQ(source.reads, readsBefore);
  int calls = 0;
  EXPECT_THROW(LoudnessAnalyzer::analyze(source, std::nullopt, std::nullopt, [&](double) { return ++calls < 2; }),
               CancellationError);
  EXPECT_EQ(source.reads, readsBefore + 1);
}

TEST(LoudnessTest, RangeIsClampedToTheSource) {
  const std::vector<float> x = sine(1000, 0.5, 48000, 48000);
  const ArraySource source({x}, 48000);
  const LoudnessResult full = LoudnessAnalyzer::analyze(source);
  EXPECT_EQ(LoudnessAnalyzer::analyze(source, FrameRange{-500, 100000}), full);
  EXPECT_EQ(std::hash<LoudnessResult>{}(LoudnessAnalyzer::analyze(source, FrameRange{0, 48000})),
            std::hash<LoudnessResult>{}(full));
  const LoudnessResult empty = LoudnessAnalyzer::analyze(source, FrameRange{60000, 70000});
  EXPECT_EQ(empty.integratedLUFS, minusInfinity);
  EXPECT_TRUE(empty.momentary.empty());
  EXPECT_EQ(empty.rmsDBFS, minusInfinity);
}

// The peaks are measured in pieces of every chunk; they equal one detector streaming the range
// and flushed with silence, with the largest inter-sample peaks placed across piece and chunk
// boundaries.
TEST(LoudnessTest, PeaksMatchOneDetectorStreamingTheRange) {
  const double rate = 48000;
  Channels channels{pinkNoise(3 * 65536 + 1000, 5), pinkNoise(3 * 65536 + 1000, 6)};
  for (auto& channel : channels)
    for (float& x : channel) x *= 0.25f;
  // Alternating full-scale samples peak between samples; one burst at a piece boundary, one at a
  // chunk boundary, one at the end.
  for (const size_t at : {size_t{8192 + 8192 - 3}, size_t{65536 - 2}, channels[0].size() - 4})
    for (size_t i = 0; i < 4; ++i) channels[at == 65534 ? 1 : 0][at + i] = i % 2 ? -0.9f : 0.9f;
  const LoudnessResult result = analyze(channels, rate);
  for (size_t c = 0; c < 2; ++c) {
    TruePeakDetector detector(rate);
    detector.process(channels[c].data(), static_cast<int64_t>(channels[c].size()));
    const float zeros[TruePeakInterpolator::taps / 2] = {};
    const float samplePeak = detector.samplePeak;
    detector.process(zeros, TruePeakInterpolator::taps / 2);
    EXPECT_GT(detector.interPeak, samplePeak);
    EXPECT_EQ(result.samplePeakPerChannel[c], 20 * std::log10(static_cast<double>(samplePeak)));
    EXPECT_EQ(result.truePeakPerChannel[c], 20 * std::log10(static_cast<double>(detector.interPeak)));
  }
}
