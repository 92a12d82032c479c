#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "base/QuarError.h"
#include "core/ContentTestSupport.h"
#include "core/Processing.h"

using namespace quar;
using quar::testing::allFrames;
using quar::testing::blocksOf;

namespace {

constexpr double rate = 48000;

// `blocks` noise blocks of `frames` frames each, so edits can be checked for block sharing.
AudioContent blockContent(int channels, int blocks, int64_t frames, unsigned seed = 1) {
  std::vector<Segment> segments;
  for (int b = 0; b < blocks; ++b)
    segments.push_back({quar::testing::noiseBlock(channels, static_cast<size_t>(frames), seed + static_cast<unsigned>(b)), 0, frames});
  return AudioContent(channels, rate, std::move(segments));
}

AudioContent constant(std::vector<float> values, int64_t frames) {
  std::vector<std::vector<float>> channels;
  for (float v : values) channels.emplace_back(static_cast<size_t>(frames), v);
  return AudioContent(channels, rate);
}

// Blocks of `before` whose segments lie wholly outside `touched` must still be in `after`.
void expectSharedOutside(const AudioContent& before, const AudioContent& after, FrameRange touched) {
  const auto kept = blocksOf(after);
  int64_t start = 0;
  for (const Segment& segment : before.segments()) {
    const FrameRange span(start, start + segment.count);
    if (!span.overlaps(touched)) {
      EXPECT_TRUE(kept.contains(segment.block.get())) << "segment at " << start;
    }
    start += segment.count;
  }
}

// Every sample outside `range` or on channels not in `touched` is unchanged.
void expectUntouchedOutside(const AudioContent& before, const AudioContent& after, FrameRange range,
                            const std::set<int>& touched) {
  ASSERT_EQ(after.frameCount(), before.frameCount());
  const auto a = allFrames(before), b = allFrames(after);
  for (size_t c = 0; c < a.size(); ++c)
    for (int64_t f = 0; f < before.frameCount(); ++f)
      if (!touched.contains(static_cast<int>(c)) || !range.contains(f)) {
        ASSERT_EQ(b[c][static_cast<size_t>(f)], a[c][static_cast<size_t>(f)]) << "channel " << c << " frame " << f;
      }
}

} // namespace

TEST(Processing, GainScalesOnlyTheSelectionAndSharesOtherBlocks) {
  const AudioContent content = blockContent(3, 4, 1000);
  const FrameRange range(1500, 2500);
  const AudioContent result = applyingGain(content, -6, range, std::set<int>{0, 2, 7});
  const float factor = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
  const auto before = allFrames(content), after = allFrames(result);
  for (size_t c : {0u, 2u})
    for (int64_t f = range.lowerBound; f < range.upperBound; ++f)
      ASSERT_EQ(after[c][static_cast<size_t>(f)], before[c][static_cast<size_t>(f)] * factor);
  expectUntouchedOutside(content, result, range, {0, 2});
  expectSharedOutside(content, result, range);
  EXPECT_EQ(allFrames(content), before);

  const AudioContent whole = applyingGain(content, 6);
  EXPECT_EQ(allFrames(whole)[1][3999], before[1][3999] * static_cast<float>(std::pow(10.0, 0.3)));

  // A range that clamps to empty returns the content as it is.
  const AudioContent beyond = applyingGain(content, -6, FrameRange(5000, 6000));
  EXPECT_EQ(blocksOf(beyond), blocksOf(content));
}

TEST(Processing, FadeEndsAndShapes) {
  const AudioContent ones = constant({1, 1}, 10);
  for (FadeShape shape : allCases<FadeShape>()) {
    const auto in = allFrames(applyingFade(ones, FadeDirection::fadeIn, shape, {0, 10}));
    const auto out = allFrames(applyingFade(ones, FadeDirection::fadeOut, shape, {0, 10}));
    for (size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(in[c][0], 0.0f) << rawValue(shape);
      EXPECT_EQ(in[c][9], 1.0f) << rawValue(shape);
      EXPECT_EQ(out[c][0], 1.0f) << rawValue(shape);
      EXPECT_EQ(out[c][9], 0.0f) << rawValue(shape);
      for (size_t f = 0; f < 10; ++f) {
        EXPECT_EQ(in[c][f], static_cast<float>(gain(shape, static_cast<double>(f) / 9))) << rawValue(shape) << f;
        EXPECT_EQ(out[c][f], static_cast<float>(gain(shape, 1 - static_cast<double>(f) / 9))) << rawValue(shape) << f;
      }
    }
    // One frame: t = 0, so a fade-in silences it and a fade-out leaves it at unity.
    EXPECT_EQ(allFrames(applyingFade(ones, FadeDirection::fadeIn, shape, {4, 5}))[0][4], 0.0f);
    EXPECT_EQ(allFrames(applyingFade(ones, FadeDirection::fadeOut, shape, {4, 5}))[0][4], 1.0f);
  }
}

TEST(Processing, FadePastTheEndKeepsItsCurve) {
  const AudioContent ones = constant({1}, 10);
  // The curve spans [5, 25) (19 steps) but only frames [5, 10) exist.
  const auto faded = allFrames(applyingFade(ones, FadeDirection::fadeIn, FadeShape::linear, {5, 25}));
  ASSERT_EQ(faded[0].size(), 10u);
  for (size_t f = 0; f < 5; ++f) EXPECT_EQ(faded[0][f], 1.0f);
  for (size_t f = 5; f < 10; ++f) EXPECT_EQ(faded[0][f], static_cast<float>((static_cast<double>(f) - 5) / 19)) << f;

  const AudioContent channelPick = applyingFade(constant({1, 1}, 10), FadeDirection::fadeOut, FadeShape::sCurve, {0, 10}, std::set<int>{1});
  EXPECT_EQ(allFrames(channelPick)[0], std::vector<float>(10, 1.0f));
}

TEST(Processing, GainRampHitsBothEndsExactly) {
  const AudioContent content = blockContent(2, 2, 3000);
  const FrameRange range(1000, 5001);
  const auto before = allFrames(content);
  const auto after = allFrames(applyingGainRamp(content, -12, 6, range));
  for (size_t c = 0; c < 2; ++c) {
    EXPECT_EQ(after[c][1000], before[c][1000] * static_cast<float>(std::pow(10.0, -12.0 / 20.0)));
    EXPECT_EQ(after[c][5000], before[c][5000] * static_cast<float>(std::pow(10.0, 6.0 / 20.0)));
    EXPECT_EQ(after[c][3000], before[c][3000] * static_cast<float>(std::pow(10.0, -3.0 / 20.0)));
  }
  // Linear in dB: over a range past the end, t keeps counting from the range as passed.
  const auto ones = allFrames(applyingGainRamp(constant({1}, 10), 0, -20, {0, 21}));
  EXPECT_EQ(ones[0][0], 1.0f);
  EXPECT_NEAR(ones[0][9], std::pow(10.0, -9.0 / 20.0), 1e-7);
}

TEST(Processing, MixingAddsScaledOther) {
  const AudioContent base = constant({0.25f, -0.5f}, 100);
  const AudioContent other = constant({0.5f, 0.5f}, 20);

  const auto inside = allFrames(mixing(base, other, 10, -6));
  const float gain = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
  EXPECT_EQ(inside[0].size(), 100u);
  EXPECT_EQ(inside[0][9], 0.25f);
  EXPECT_EQ(inside[0][10], 0.25f + gain * 0.5f);
  EXPECT_EQ(inside[1][29], -0.5f + gain * 0.5f);
  EXPECT_EQ(inside[1][30], -0.5f);

  // Beyond the end: a silent gap, then `other` unchanged at 0 dB.
  const auto grown = allFrames(mixing(base, other, 150, 0));
  ASSERT_EQ(grown[0].size(), 170u);
  EXPECT_EQ(grown[0][99], 0.25f);
  for (size_t f = 100; f < 150; ++f) EXPECT_EQ(grown[0][f], 0.0f);
  for (size_t f = 150; f < 170; ++f) EXPECT_EQ(grown[1][f], 0.5f);
  EXPECT_EQ(mixing(base, other, 90, 0).frameCount(), 110);

  // A negative start drops the first -frame frames of `other`.
  std::vector<float> ramp(20);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
  const auto early = allFrames(mixing(constant({0}, 100), AudioContent({ramp}, rate), -5, 0));
  ASSERT_EQ(early[0].size(), 100u);
  for (size_t f = 0; f < 15; ++f) EXPECT_EQ(early[0][f], static_cast<float>(f + 5));
  EXPECT_EQ(early[0][15], 0.0f);

  const AudioContent empty(2, rate);
  EXPECT_EQ(blocksOf(mixing(base, empty, 10, 0)), blocksOf(base));
  EXPECT_EQ(allFrames(mixing(empty, other, 0, 0)), allFrames(other));
}

// Results that cannot fit in memory are refused before anything is allocated.
TEST(Processing, ResultsBeyondTheMachinesMemoryAreRefused) {
  const AudioContent base = constant({0.25f, -0.5f}, 100);
  const auto tooLarge = [](const auto& call) {
    try {
      call();
    } catch (const QuarError& error) {
      return error.kind() == QuarError::Kind::encodeFailed && error.message().starts_with("the result would need ");
    }
    return false;
  };
  EXPECT_TRUE(tooLarge([&] { mixing(base, base, int64_t{1} << 50, 0); }));
  EXPECT_TRUE(tooLarge([&] { remixed(constant({0.5f}, 1 << 20), 1 << 30); }));
}

TEST(Processing, MixingSharesBlocksOutsideTheMix) {
  const AudioContent content = blockContent(1, 5, 5000);
  const AudioContent result = mixing(content, constant({0.1f}, 3000), 11000, 0);
  expectSharedOutside(content, result, {11000, 14000});
  expectUntouchedOutside(content, result, {11000, 14000}, {0});
}

TEST(Processing, SamplePeaks) {
  AudioContent content({{0.1f, -0.7f, 0.3f}, {0, 0, 0}, {0.5f, 0.2f, -0.1f}}, rate);
  EXPECT_EQ(samplePeaks(content), (std::vector<float>{0.7f, 0, 0.5f}));
  EXPECT_EQ(samplePeaks(content, FrameRange(2, 3)), (std::vector<float>{0.3f, 0, 0.1f}));
  EXPECT_EQ(samplePeaks(content, FrameRange(1, 1)), (std::vector<float>{0, 0, 0}));
}

TEST(Processing, NormalizingPeak) {
  const AudioContent content({{0.5f, -0.25f}, {0.1f, 0.2f}, {0, 0}}, rate);
  const float target = static_cast<float>(std::pow(10.0, -1.0 / 20.0));

  const auto joint = allFrames(normalizingPeak(content, -1));
  EXPECT_NEAR(std::abs(joint[0][0]), 0.891251f, 1e-6);
  EXPECT_NEAR(joint[1][1] / joint[0][0], 0.4f, 1e-6);
  EXPECT_EQ(joint[2], (std::vector<float>{0, 0}));

  const auto independent = allFrames(normalizingPeak(content, -1, std::nullopt, std::nullopt, true));
  EXPECT_EQ(independent[0][0], 0.5f * (target / 0.5f));
  EXPECT_EQ(independent[1][1], 0.2f * (target / 0.2f));
  EXPECT_EQ(independent[2], (std::vector<float>{0, 0}));

  // Only channel 1 is selected: the others keep their samples.
  const auto second = allFrames(normalizingPeak(content, 0, std::nullopt, std::set<int>{1}));
  EXPECT_EQ(second[0], allFrames(content)[0]);
  EXPECT_NEAR(second[1][1], 1.0f, 1e-6);

  // Nothing to raise: joint normalisation returns the content itself.
  const AudioContent silent = constant({0, 0}, 50);
  EXPECT_EQ(blocksOf(normalizingPeak(silent, -1)), blocksOf(silent));
  EXPECT_EQ(blocksOf(normalizingPeak(content, -1, std::nullopt, std::set<int>{2, 9})), blocksOf(content));
  EXPECT_EQ(blocksOf(normalizingPeak(content, -1, std::nullopt, std::set<int>{})), blocksOf(content));
}

TEST(Processing, InvertedNegatesTheSelection) {
  const AudioContent content = blockContent(2, 3, 5000);
  const FrameRange range(4000, 7000);
  const AudioContent result = inverted(content, range, std::set<int>{1});
  const auto before = allFrames(content), after = allFrames(result);
  for (int64_t f = range.lowerBound; f < range.upperBound; ++f)
    ASSERT_EQ(after[1][static_cast<size_t>(f)], -before[1][static_cast<size_t>(f)]);
  expectUntouchedOutside(content, result, range, {1});
  expectSharedOutside(content, result, range);
  EXPECT_EQ(allFrames(inverted(inverted(content))), before);
}

TEST(Processing, SilencedSharesBlocksWhenEveryChannelIsSilenced) {
  const AudioContent content = blockContent(2, 4, 5000);
  const FrameRange range(6000, 12000);
  for (const ChannelSet& all : {ChannelSet(), ChannelSet(std::set<int>{0, 1})}) {
    const AudioContent result = silenced(content, range, all);
    const auto after = allFrames(result);
    for (size_t c = 0; c < 2; ++c)
      for (int64_t f = range.lowerBound; f < range.upperBound; ++f) ASSERT_EQ(after[c][static_cast<size_t>(f)], 0.0f);
    expectUntouchedOutside(content, result, range, {0, 1});
    // Blocks partly inside the range stay shared for their outside parts.
    const auto kept = blocksOf(result);
    for (const AudioBlock* block : blocksOf(content)) EXPECT_TRUE(kept.contains(block));
  }
  const AudioContent one = silenced(content, range, std::set<int>{0});
  expectUntouchedOutside(content, one, range, {0});
  EXPECT_EQ(allFrames(one)[0][6000], 0.0f);

  const AudioContent clipped = silenced(content, {19000, 30000});
  EXPECT_EQ(clipped.frameCount(), 20000);
  EXPECT_EQ(allFrames(clipped)[1][19999], 0.0f);
  EXPECT_EQ(blocksOf(silenced(content, {25000, 30000})), blocksOf(content));
}

TEST(Processing, DCOffsetMeasurementAndRemoval) {
  std::vector<float> left(200, 0.25f), right(200, -0.1f);
  for (size_t f = 100; f < 200; ++f) left[f] = 0.75f;
  const AudioContent content({left, right}, rate);
  const auto offsets = dcOffsets(content, FrameRange(0, 100));
  EXPECT_NEAR(offsets[0], 0.25, 1e-7);
  EXPECT_NEAR(offsets[1], -0.1, 1e-7);
  EXPECT_NEAR(dcOffsets(content)[0], 0.5, 1e-7);
  EXPECT_EQ(dcOffsets(content, FrameRange(50, 50)), (std::vector<double>{0, 0}));

  const auto removed = allFrames(removingDCOffset(content, FrameRange(0, 100)));
  for (size_t f = 0; f < 100; ++f) {
    EXPECT_NEAR(removed[0][f], 0, 1e-7);
    EXPECT_NEAR(removed[1][f], 0, 1e-7);
  }
  EXPECT_EQ(removed[0][100], 0.75f);

  const auto leftOnly = allFrames(removingDCOffset(content, std::nullopt, std::set<int>{0}));
  EXPECT_NEAR(leftOnly[0][0], -0.25f, 1e-7);
  EXPECT_EQ(leftOnly[1], right);
}

TEST(Processing, DCOffsetRangesPastTheEndAreClamped) {
  std::vector<float> left(100, 0.25f);
  for (size_t f = 50; f < 100; ++f) left[f] = 0.5f;
  const AudioContent content({left}, rate);
  // Only frames [50, 100) exist: their mean, not a sum spread over 150 frames.
  EXPECT_NEAR(dcOffsets(content, FrameRange(50, 200))[0], 0.5, 1e-7);
  EXPECT_EQ(dcOffsets(content, FrameRange(300, 400)), (std::vector<double>{0}));

  const auto removed = allFrames(removingDCOffset(content, FrameRange(50, 200)));
  ASSERT_EQ(removed[0].size(), 100u);
  EXPECT_EQ(removed[0][49], 0.25f);
  EXPECT_NEAR(removed[0][99], 0, 1e-7);
  EXPECT_EQ(blocksOf(removingDCOffset(content, FrameRange(300, 400))), blocksOf(content));
}

TEST(Processing, ReversedMirrorsTheRangeOnSelectedChannels) {
  const AudioContent content = blockContent(2, 3, 30000);  // chunks of 65536 cross block ends
  const auto before = allFrames(content);
  const FrameRange range(1000, 85000);
  const AudioContent result = reversed(content, range, std::set<int>{0});
  const auto after = allFrames(result);
  for (int64_t k = 0; k < range.count(); ++k)
    ASSERT_EQ(after[0][static_cast<size_t>(range.lowerBound + k)], before[0][static_cast<size_t>(range.upperBound - 1 - k)]);
  EXPECT_EQ(after[1], before[1]);
  expectUntouchedOutside(content, result, range, {0});

  EXPECT_EQ(allFrames(reversed(reversed(content))), before);
  EXPECT_EQ(allFrames(reversed(reversed(content, FrameRange(10, 70000)), FrameRange(10, 70000))), before);
  for (FrameRange tiny : {FrameRange(5, 6), FrameRange(89999, 95000), FrameRange(7, 7)})
    EXPECT_EQ(blocksOf(reversed(content, tiny)), blocksOf(content)) << tiny.lowerBound;
  const auto tail = allFrames(reversed(content, FrameRange(89998, 95000)));
  EXPECT_EQ(tail[1][89998], before[1][89999]);
}

TEST(Processing, RemixedChangesTheChannelCount) {
  const AudioContent stereo({{1, 0.5f}, {-1, 0.25f}}, rate);
  EXPECT_EQ(allFrames(remixed(stereo, 1)), (std::vector<std::vector<float>>{{0, 0.375f}}));
  EXPECT_EQ(blocksOf(remixed(stereo, 2)), blocksOf(stereo));
  EXPECT_EQ(allFrames(remixed(stereo, 4)),
            (std::vector<std::vector<float>>{{1, 0.5f}, {-1, 0.25f}, {1, 0.5f}, {-1, 0.25f}}));
  EXPECT_EQ(allFrames(remixed(AudioContent({{0.3f, 0.6f}}, rate), 2)),
            (std::vector<std::vector<float>>{{0.3f, 0.6f}, {0.3f, 0.6f}}));

  std::vector<std::vector<float>> six;
  for (int c = 0; c < 6; ++c) six.push_back({static_cast<float>(c), static_cast<float>(10 * c)});
  const auto two = allFrames(remixed(AudioContent(six, rate), 2));
  EXPECT_NEAR(two[0][0], 2.0f, 1e-6);  // (0 + 2 + 4) / 3
  EXPECT_NEAR(two[1][0], 3.0f, 1e-6);  // (1 + 3 + 5) / 3
  EXPECT_NEAR(two[1][1], 30.0f, 1e-5);
  const auto fromFive = allFrames(remixed(AudioContent({{1}, {2}, {3}, {4}, {5}}, rate), 2));
  EXPECT_NEAR(fromFive[0][0], 3.0f, 1e-6);  // (1 + 3 + 5) / 3
  EXPECT_NEAR(fromFive[1][0], 3.0f, 1e-6);  // (2 + 4) / 2

  const AudioContent long3 = blockContent(3, 2, 40000);
  const AudioContent mono = remixed(long3, 1);
  EXPECT_EQ(mono.frameCount(), 80000);
  EXPECT_EQ(mono.sampleRate(), rate);
  const auto source = allFrames(long3);
  EXPECT_NEAR(allFrames(mono)[0][70000], (source[0][70000] + source[1][70000] + source[2][70000]) / 3, 1e-6);
  EXPECT_EQ(remixed(AudioContent(2, rate), 1).channelCount(), 1);
}

TEST(Processing, RearrangingChannelsReturnsOnlyTheRange) {
  const AudioContent content = blockContent(2, 2, 1000);
  const auto source = allFrames(content);
  const auto right = allFrames(rearrangingChannels(content, {1}, FrameRange(100, 200)));
  ASSERT_EQ(right.size(), 1u);
  EXPECT_EQ(right[0], std::vector<float>(source[1].begin() + 100, source[1].begin() + 200));

  const auto swapped = allFrames(rearrangingChannels(content, {1, 0}));
  EXPECT_EQ(swapped[0], source[1]);
  EXPECT_EQ(swapped[1], source[0]);
  const auto tripled = allFrames(rearrangingChannels(content, {0, 0, 1}));
  EXPECT_EQ(tripled, (std::vector<std::vector<float>>{source[0], source[0], source[1]}));

  // Ranges past the end hold only the frames the content has.
  const AudioContent tail = rearrangingChannels(content, {1}, FrameRange(1900, 2500));
  EXPECT_EQ(allFrames(tail)[0], std::vector<float>(source[1].begin() + 1900, source[1].end()));
  const AudioContent none = rearrangingChannels(content, {1, 0, 1}, FrameRange(3000, 4000));
  EXPECT_EQ(none.frameCount(), 0);
  EXPECT_EQ(none.channelCount(), 3);
}

TEST(Processing, NearestZeroCrossing) {
  // Sign changes at frames 10 and 14.
  std::vector<float> signal(30, 1.0f);
  for (size_t f = 10; f < 14; ++f) signal[f] = -1.0f;
  const AudioContent content({signal}, rate);
  struct Case {
    int64_t frame, radius, expected;
  };
  const Case cases[] = {
      {12, 5, 10}, {13, 5, 14}, {11, 5, 10}, {20, 3, 20}, {20, 6, 20}, {20, 7, 14}, {0, 100, 10}, {100, 5, 100}, {-3, 2, -3},
  };
  for (const Case& c : cases) EXPECT_EQ(nearestZeroCrossing(content, c.frame, c.radius), c.expected) << c.frame;

  // An exact zero qualifies where it stands, except as the window's first frame.
  std::vector<float> zeros(20, 0.5f);
  zeros[5] = 0;
  const AudioContent withZero({zeros}, rate);
  EXPECT_EQ(nearestZeroCrossing(withZero, 5, 3), 5);
  EXPECT_EQ(nearestZeroCrossing(withZero, 7, 2), 7);  // the zero at 5 opens the window
  EXPECT_EQ(nearestZeroCrossing(withZero, 7, 3), 5);
  EXPECT_EQ(nearestZeroCrossing(AudioContent({{0.0f}}, rate), 0, 5), 0);

  // Channels are summed: an offset channel hides the first channel's crossings.
  const AudioContent offset({signal, std::vector<float>(30, 2.0f)}, rate);
  EXPECT_EQ(nearestZeroCrossing(offset, 12, 5), 12);
}

TEST(Processing, LongOperationsReportProgressAndStopWhenCancelled) {
  // Forty chunks of the transforms: every operation reports more than once.
  const BlockRef block = quar::testing::noiseBlock(2, 65536, 7);
  const AudioContent content(2, rate, std::vector<Segment>(40, Segment{block, 0, 65536}));
  const FrameRange part(1000, content.frameCount() - 1000);
  struct Case {
    const char* name;
    std::function<AudioContent(const ProcessingProgress&)> run;
  };
  const Case cases[] = {
      {"gain", [&](const ProcessingProgress& p) { return applyingGain(content, -3, part, std::nullopt, p); }},
      {"fade", [&](const ProcessingProgress& p) {
         return applyingFade(content, FadeDirection::fadeOut, FadeShape::sCurve, part, std::nullopt, p);
       }},
      {"gain ramp",
       [&](const ProcessingProgress& p) { return applyingGainRamp(content, -6, 3, part, std::nullopt, p); }},
      {"normalize",
       [&](const ProcessingProgress& p) { return normalizingPeak(content, -1, part, std::nullopt, false, p); }},
      {"normalize each",
       [&](const ProcessingProgress& p) { return normalizingPeak(content, -1, part, std::nullopt, true, p); }},
      {"invert", [&](const ProcessingProgress& p) { return inverted(content, part, std::set<int>{1}, p); }},
      {"silence", [&](const ProcessingProgress& p) { return silenced(content, part, std::set<int>{0}, p); }},
      {"remove DC", [&](const ProcessingProgress& p) { return removingDCOffset(content, part, std::nullopt, p); }},
      {"reverse", [&](const ProcessingProgress& p) { return reversed(content, part, std::set<int>{0}, p); }},
      {"remix", [&](const ProcessingProgress& p) { return remixed(content, 1, p); }},
  };
  for (const Case& c : cases) {
    std::vector<double> fractions;
    const AudioContent reported = c.run([&](double fraction) {
      fractions.push_back(fraction);
      return true;
    });
    EXPECT_GE(fractions.size(), 2u) << c.name;
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end())) << c.name;
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0) << c.name;
    EXPECT_TRUE(allFrames(reported) == allFrames(c.run({}))) << c.name;

    int calls = 0;
    EXPECT_THROW(c.run([&](double) { return ++calls > 1; }), CancellationError) << c.name;
    EXPECT_EQ(calls, 1) << c.name;  // it stopped at its first report
  }
}

TEST(ProcessingDeathTest, CallerContracts) {
  const AudioContent stereo = constant({0, 0}, 10);
  EXPECT_DEATH(mixing(stereo, constant({0}, 5), 0, 0), "channel count");
  EXPECT_DEATH(remixed(stereo, 0), "at least one channel");
  EXPECT_DEATH(rearrangingChannels(stereo, {}), "at least one channel");
  EXPECT_DEATH(rearrangingChannels(stereo, {0, 2}), "outside the content");
  // Frame arithmetic beyond Int.
  constexpr int64_t big = std::numeric_limits<int64_t>::max();
  EXPECT_DEATH(mixing(stereo, constant({0, 0}, 5), big - 2, 0), "Int arithmetic overflows");
  EXPECT_DEATH(nearestZeroCrossing(stereo, big - 2, 5), "Int arithmetic overflows");
  EXPECT_DEATH(nearestZeroCrossing(stereo, std::numeric_limits<int64_t>::min() + 2, 5), "Int arithmetic overflows");
}
