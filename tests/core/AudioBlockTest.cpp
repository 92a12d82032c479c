#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "core/AudioBlock.h"
#include "core/ContentTestSupport.h"

using namespace quar;

namespace {

std::vector<float> noise(size_t n, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<float> v(n);
  for (auto& x : v) x = dist(engine);
  return v;
}

} // namespace

TEST(AudioBlock, BinCounts) {
  const std::tuple<size_t, size_t, size_t> cases[] = {{1, 1, 1}, {256, 1, 1}, {257, 2, 1}, {4097, 17, 2}, {65536, 256, 16}};
  for (auto [frames, bins, groups] : cases) {
    AudioBlock block({noise(frames, 1)});
    EXPECT_EQ(block.summary().mins[0].size(), bins) << frames;
    EXPECT_EQ(block.summary().groupSumSquares[0].size(), groups) << frames;
    EXPECT_EQ(block.frameCount(), static_cast<int64_t>(frames));
  }
  AudioBlock single(std::vector<std::vector<float>>{{0.25f}});
  EXPECT_EQ(single.summary().mins[0][0], 0.25f);
  EXPECT_EQ(single.summary().maxs[0][0], 0.25f);
}

TEST(AudioBlock, EmptyBlockHasZeroBlockValues) {
  AudioBlock block(std::vector<std::vector<float>>{{}, {}});
  EXPECT_EQ(block.channelCount(), 2);
  EXPECT_EQ(block.frameCount(), 0);
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(block.summary().mins[static_cast<size_t>(c)].empty());
    EXPECT_EQ(block.summary().blockMin[static_cast<size_t>(c)], 0);
    EXPECT_EQ(block.summary().blockMax[static_cast<size_t>(c)], 0);
    EXPECT_EQ(block.summary().blockSumSquares[static_cast<size_t>(c)], 0);
  }
}

TEST(AudioBlock, SummaryEqualsBruteForce) {
  const size_t frames = 1000;
  AudioBlock block({noise(frames, 2), noise(frames, 3)});
  for (size_t c = 0; c < 2; ++c) {
    const std::vector<float> x(block.channel(static_cast<int>(c)), block.channel(static_cast<int>(c)) + frames);
    float blockSum = 0;
    for (size_t b = 0; b * 256 < frames; ++b) {
      const size_t begin = b * 256, end = std::min(frames, begin + 256);
      float lo = x[begin], hi = x[begin], sum = 0;
      for (size_t i = begin; i < end; ++i) {
        lo = std::min(lo, x[i]);
        hi = std::max(hi, x[i]);
        sum += x[i] * x[i];
      }
      EXPECT_EQ(block.summary().mins[c][b], lo);
      EXPECT_EQ(block.summary().maxs[c][b], hi);
      EXPECT_NEAR(block.summary().sumSquares[c][b], sum, 1e-3);
      blockSum += block.summary().sumSquares[c][b];
    }
    // Groups of 16 bins, the last one short.
    const QuarSummary& q = block.summary();
    ASSERT_EQ(q.groupMins[c].size(), 1u);
    float groupSum = 0;
    for (float binSum : q.sumSquares[c]) groupSum += binSum;
    EXPECT_EQ(q.groupMins[c][0], *std::min_element(q.mins[c].begin(), q.mins[c].end()));
    EXPECT_EQ(q.groupMaxs[c][0], *std::max_element(q.maxs[c].begin(), q.maxs[c].end()));
    EXPECT_EQ(q.groupSumSquares[c][0], groupSum);
    EXPECT_EQ(block.summary().blockMin[c], *std::min_element(x.begin(), x.end()));
    EXPECT_EQ(block.summary().blockMax[c], *std::max_element(x.begin(), x.end()));
    EXPECT_EQ(block.summary().blockSumSquares[c], blockSum);
  }
}

// A NaN or infinity counts as 0 wherever it falls (the first sample, a bin's first sample, any
// partial sum, the scalar rest): every summary equals that of the samples with those set to 0,
// even in a bin whose samples are all above 0.
TEST(PeakSummary, NonFiniteSamplesCountAsZero) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  std::vector<float> dirty = noise(5000, 5);
  std::fill(dirty.begin() + 256, dirty.begin() + 512, 0.5f);
  const std::pair<size_t, float> bad[] = {{0, nan}, {3, inf}, {17, -inf}, {39, nan}, {256, nan}, {4096, inf}, {4999, nan}};
  std::vector<float> clean = dirty;
  for (auto [frame, value] : bad) {
    dirty[frame] = value;
    clean[frame] = 0;
  }
  for (int64_t count : {1, 16, 40, 5000}) {
    SCOPED_TRACE(count);
    EXPECT_EQ(PeakSummary::of(dirty.data(), count), PeakSummary::of(clean.data(), count));
  }
  EXPECT_EQ(PeakSummary::of(dirty.data() + 256, 256).min, 0.0f);

  const AudioBlock dirtyBlock({dirty, clean}), cleanBlock({clean, clean});
  quar::testing::expectSameSummary(dirtyBlock.summary(), cleanBlock.summary());
}

TEST(AudioBlockDeathTest, RefusesMalformedSamples) {
  EXPECT_DEATH(AudioBlock(std::vector<std::vector<float>>{}), "precondition failed");
  EXPECT_DEATH(AudioBlock(std::vector<std::vector<float>>{{1, 2}, {1}}), "precondition failed");
  // Channels shorter than the first would be read past their end.
  EXPECT_DEATH(QuarSummary({{1, 2, 3}, {1}}), "precondition failed");
}

TEST(PeakSummary, FoldFromEmpty) {
  PeakSummary summary = PeakSummary::empty();
  EXPECT_TRUE(summary.isEmpty());
  EXPECT_EQ(summary.rms(), 0);
  summary.merge(0.5f, 0.5f, 0.25f, 1);
  EXPECT_EQ(summary, (PeakSummary{0.5f, 0.5f, 0.25f, 1}));
  EXPECT_EQ(summary.rms(), 0.5f);
  summary.merge(std::nanf(""), std::nanf(""), 0, 0);
  EXPECT_EQ(summary.min, 0.5f);
  EXPECT_EQ(summary.max, 0.5f);
  EXPECT_NE((PeakSummary{0, 0, 0, 1}), (PeakSummary{0, 0, 0, 2}));
  EXPECT_NE(std::hash<PeakSummary>{}({0, 0, 0, 1}), std::hash<PeakSummary>{}({0, 0, 0, 2}));
}
