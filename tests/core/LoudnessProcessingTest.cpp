#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/QuarError.h"
#include "core/ContentTestSupport.h"
#include "core/LoudnessProcessing.h"
#include "core/Processing.h"
#include "dsp/LoudnessTestSupport.h"

using namespace quar;
using namespace quar::loudnesstest;
using quar::testing::allFrames;

namespace {

constexpr double minusInfinity = -std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// Stereo pink noise with a short accent every half second (peaks about 15 dB above the noise,
// as drum hits would be), scaled to `lufs` integrated loudness. Plain pink noise lies only about
// 13 dB below its peaks, too little to need limiting on its way from −30 to −14 LUFS.
AudioContent pinkContent(double lufs, int64_t frames, double rate = 48000) {
  Channels channels{pinkNoise(frames, 31), pinkNoise(frames, 32)};
  const auto period = static_cast<int64_t>(rate / 2);
  for (auto& channel : channels)
    for (int64_t i = 0; i < frames; ++i)
      channel[static_cast<size_t>(i)] *= static_cast<float>(1 + 5 * std::exp(-static_cast<double>(i % period) / (0.005 * rate)));
  const double measured = LoudnessAnalyzer::analyze(ArraySource(channels, rate)).integratedLUFS;
  scale(channels, std::pow(10.0, (lufs - measured) / 20));
  return AudioContent(channels, rate);
}

LoudnessNormalization::Plan limitingPlan(double gainDB) { return {gainDB, -14, 3, true}; }

struct Progress {
  std::vector<double> fractions;
  std::function<bool(double)> callback() {
    return [this](double f) {
      fractions.push_back(f);
      return true;
    };
  }
};

} // namespace

TEST(LoudnessProcessingTest, GainSearchTakesSecantSteps) {
  struct Step {
    double measured;
    bool continues;
    double nextGain;
  };
  const struct {
    const char* name;
    double planGain, target, tolerance;
    int maxPasses;
    std::vector<Step> steps;
  } cases[] = {
      {"secant", 5, -14, 0.1, 8, {{-15.5, true, 6.5}, {-15.0, true, 9.5}}},
      {"slope below 1 counts as 1", 5, -14, 0.1, 8, {{-15.5, true, 6.5}, {-13.5, true, 6.0}}},
      {"slope above 4 counts as 4", 5, -14, 0.1, 8, {{-15.5, true, 6.5}, {-15.4, true, 6.5 + 1.4 * 4}}},
      {"no measured change counts as 1", 5, -14, 0.1, 8, {{-15.5, true, 6.5}, {-15.5005, true, 8.0005}}},
      {"within tolerance", 5, -14, 0.2, 8, {{-14.15, false, 5}}},
      {"silent", 5, -14, 0.1, 8, {{minusInfinity, false, 5}}},
      {"not a number", 5, -14, 0.1, 8, {{notANumber, false, 5}}},
      {"beyond the plan + 12 dB", 5, -14, 0.1, 8, {{-31.5, false, 5}}},
      {"up to the plan + 12 dB", 5, -14, 0.1, 8, {{-26, true, 17}}},
      {"last pass", 5, -14, 0.1, 2, {{-15.5, true, 6.5}, {-15.0, false, 6.5}}},
      {"single pass", 5, -14, 0.1, 1, {{-15.5, false, 5}}},
  };
  for (const auto& c : cases) {
    LoudnessGainSearch search(c.planGain, c.target, c.tolerance, c.maxPasses);
    EXPECT_EQ(search.gainDB(), c.planGain) << c.name;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(search.advance(c.steps[i].measured), c.steps[i].continues) << c.name << " step " << i;
      EXPECT_NEAR(search.gainDB(), c.steps[i].nextGain, 1e-9) << c.name << " step " << i;
    }
  }
}

TEST(LoudnessProcessingTest, WithoutLimitingItIsAPlainGain) {
  const AudioContent content(quar::testing::noiseChannels(2, 100000, 3), 44100);
  const FrameRange range{1000, 1000000000};
  const auto expected = allFrames(applyingGain(content, 6, FrameRange{1000, 100000}));
  Progress progress;
  const AudioContent notAllowed =
      adjustingLoudness(content, range, limitingPlan(6), -14.0, -1, false, 0.1, 4, progress.callback());
  EXPECT_EQ(allFrames(notAllowed), expected);
  const AudioContent notNeeded = adjustingLoudness(content, range, {6, -14, -3, false}, -14.0, -1, true, 0.1, 4,
                                                   progress.callback());
  EXPECT_EQ(allFrames(notNeeded), expected);
  EXPECT_TRUE(progress.fractions.empty());
}

TEST(LoudnessProcessingTest, NoPassesLeaveTheContentUnchanged) {
  const AudioContent content(quar::testing::noiseChannels(1, 5000, 4), 48000);
  Progress progress;
  const AudioContent result =
      adjustingLoudness(content, content.fullRange(), limitingPlan(12), -14.0, -1, true, 0.1, 0, progress.callback());
  EXPECT_EQ(quar::testing::blocksOf(result), quar::testing::blocksOf(content));
  EXPECT_EQ(progress.fractions, std::vector<double>{1.0});
}

TEST(LoudnessProcessingTest, WithoutTargetOneLimiterPassAtThePlanGain) {
  const AudioContent content = pinkContent(-20, 3 * 65536 + 500);
  const FrameRange range{70000, 150000};
  Progress progress;
  const AudioContent result =
      adjustingLoudness(content, range, limitingPlan(18), std::nullopt, -1, true, 0.1, 3, progress.callback());

  Channels limited(2);
  TruePeakLimiter::render(content, range, 18, -1, 2, 80, {}, [&](ChannelViews chunk) {
    for (size_t c = 0; c < 2; ++c) limited[c].insert(limited[c].end(), chunk[c].begin(), chunk[c].end());
  });
  const auto frames = allFrames(result);
  const auto original = allFrames(content);
  for (size_t c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::equal(limited[c].begin(), limited[c].end(), frames[c].begin() + range.lowerBound));
    EXPECT_TRUE(std::equal(original[c].begin(), original[c].begin() + range.lowerBound, frames[c].begin()));
    EXPECT_TRUE(std::equal(original[c].begin() + range.upperBound, original[c].end(), frames[c].begin() + range.upperBound));
  }
  EXPECT_EQ(result.segments().front().block, content.segments().front().block);
  EXPECT_EQ(result.segments().back().block, content.segments().back().block);
  // Only the limiter's share of the first of three passes, then done.
  ASSERT_GE(progress.fractions.size(), 3u);
  EXPECT_EQ(progress.fractions.back(), 1.0);
  for (size_t i = 0; i + 1 < progress.fractions.size(); ++i) EXPECT_LE(progress.fractions[i], 0.7 / 3 + 1e-12);
}

TEST(LoudnessProcessingTest, PinkNoiseReachesTheTargetUnderTheCeiling) {
  const double rate = 48000;
  const AudioContent content = pinkContent(-30, 10 * 48000, rate);
  const LoudnessResult before = LoudnessAnalyzer::analyze(content);
  const LoudnessNormalization::Plan plan = LoudnessNormalization::plan(before, -14, -1);
  ASSERT_TRUE(plan.needsLimiting);
  Progress progress;
  const AudioContent result =
      adjustingLoudness(content, content.fullRange(), plan, -14.0, -1, true, 0.1, 6, progress.callback());

  const auto frames = allFrames(result);
  const LoudnessResult own = LoudnessAnalyzer::analyze(result);
  EXPECT_NEAR(own.integratedLUFS, -14, 0.1);
  EXPECT_LE(own.truePeakDBTP, -1.0);
  EXPECT_NEAR(referenceLoudness(frames, rate).integratedLUFS, -14, 0.15);
  // Oversampling meters differ by a few hundredths of a dB on limited audio.
  EXPECT_LE(ffmpegTruePeakDBTP(frames, rate), -1.0 + 0.1);
  EXPECT_TRUE(std::is_sorted(progress.fractions.begin(), progress.fractions.end()));
  EXPECT_EQ(progress.fractions.back(), 1.0);
}

TEST(LoudnessProcessingTest, AFirstPassOnTargetEndsTheSearch) {
  const AudioContent content = pinkContent(-30, 2 * 48000);
  const LoudnessNormalization::Plan plan = LoudnessNormalization::plan(LoudnessAnalyzer::analyze(content), -14, -1);
  Progress progress;
  adjustingLoudness(content, content.fullRange(), plan, -14.0, -1, true, 20, 4, progress.callback());
  // One limiter run and one measurement: everything inside the first quarter, then 1.
  ASSERT_GE(progress.fractions.size(), 3u);
  EXPECT_GT(progress.fractions[progress.fractions.size() - 2], 0.7 / 4);
  for (size_t i = 0; i + 1 < progress.fractions.size(); ++i) EXPECT_LE(progress.fractions[i], 0.25);
  EXPECT_EQ(progress.fractions.back(), 1.0);
}

TEST(LoudnessProcessingTest, CancellationLeavesNoResult) {
  const AudioContent content = pinkContent(-30, 48000);
  const LoudnessNormalization::Plan plan = limitingPlan(20);
  for (int stopAt : {0, 2, 3}) {
    int calls = 0;
    EXPECT_THROW(adjustingLoudness(content, content.fullRange(), plan, -14.0, -1, true, 0.1, 4,
                                   [&](double) { return calls++ < stopAt; }),
                 CancellationError)
        << stopAt;
  }
}
