#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ContentTestSupport.h"
#include "core/AudioContent.h"
#include "support/AllocationCounting.h"

using namespace quar;
using namespace quar::testing;

namespace {

// Sample-by-sample pass over frames [lower, upper) of one channel, summed in order.
PeakSummary bruteForce(const std::vector<float>& samples, int64_t lower, int64_t upper) {
  PeakSummary result = PeakSummary::empty();
  if (lower >= upper) return result;
  float lo = samples[static_cast<size_t>(lower)], hi = lo, sum = 0;
  for (int64_t f = lower; f < upper; ++f) {
    const float x = samples[static_cast<size_t>(f)];
    lo = std::min(lo, x);
    hi = std::max(hi, x);
    sum += x * x;
  }
  result.merge(lo, hi, sum, upper - lower);
  return result;
}

void expectMatchesBruteForce(const AudioContent& content, const std::vector<std::vector<float>>& frames, int channel,
                             int64_t lower, int64_t upper) {
  const std::vector<float>& samples = frames[static_cast<size_t>(channel)];
  const int64_t l = std::clamp<int64_t>(lower, 0, content.frameCount());
  const int64_t u = std::clamp<int64_t>(upper, 0, content.frameCount());
  const PeakSummary expected = bruteForce(samples, l, u);
  const PeakSummary peaks = content.peaks(channel, {lower, upper});
  EXPECT_EQ(peaks.count, expected.count) << lower << ".." << upper;
  EXPECT_EQ(peaks.min, expected.min) << lower << ".." << upper;
  EXPECT_EQ(peaks.max, expected.max) << lower << ".." << upper;
  EXPECT_NEAR(peaks.sumSquares, expected.sumSquares, 1e-4 * std::max(1.0f, expected.sumSquares)) << lower << ".." << upper;
}

} // namespace

TEST(AudioContentPeaks, OneBlockUsesGroupsAndBinsBetweenExactEdges) {
  const AudioContent content(noiseChannels(2, 65536, 1), 48000);
  const std::vector<float> samples = allFrames(content)[1];
  const QuarSummary& q = content.segments()[0].block->summary();
  const auto exact = [&](int64_t lower, int64_t upper) {
    return PeakSummary::of(samples.data() + lower, upper - lower).sumSquares;
  };
  const auto bins = [&](float sum, int64_t first, int64_t last) {
    for (int64_t k = first; k < last; ++k) sum += q.sumSquares[1][static_cast<size_t>(k)];
    return sum;
  };
  struct Case {
    int64_t lower, upper;
    float sumSquares;  // in the order the query adds: exact head, bins and groups, exact tail
  };
  const auto groups = [&](float sum, size_t first, size_t last) {
    for (size_t g = first; g < last; ++g) sum += q.groupSumSquares[1][g];
    return sum;
  };
  const Case cases[] = {
      {0, 300, q.sumSquares[1][0] + exact(256, 300)},
      {10, 200, exact(10, 200)},
      {100, 700, exact(100, 256) + q.sumSquares[1][1] + exact(512, 700)},
      {0, 65536, q.blockSumSquares[1]},
      {65280, 65536, q.sumSquares[1][255]},
      // Bins 1..15, groups 1 to 3 (bins 16..63), bins 64..77.
      {100, 20000, bins(groups(bins(exact(100, 256), 1, 16), 1, 4), 64, 78) + exact(19968, 20000)},
      {4096, 8192, q.groupSumSquares[1][1]},
  };
  for (const Case& k : cases) {
    const PeakSummary peaks = content.peaks(1, {k.lower, k.upper});
    const PeakSummary expected = bruteForce(samples, k.lower, k.upper);
    EXPECT_EQ(peaks.count, k.upper - k.lower) << k.lower;
    EXPECT_EQ(peaks.min, expected.min) << k.lower;
    EXPECT_EQ(peaks.max, expected.max) << k.lower;
    EXPECT_EQ(peaks.sumSquares, k.sumSquares) << k.lower;
  }
}

TEST(AudioContentPeaks, WholeBlocksMergeTheirBlockValues) {
  const AudioContent content(noiseChannels(1, 3 * 65536, 2), 48000);
  float sum = 0;
  for (const auto& segment : content.segments()) sum += segment.block->summary().blockSumSquares[0];
  const PeakSummary peaks = content.peaks(0, content.fullRange());
  EXPECT_EQ(peaks.sumSquares, sum);
  EXPECT_EQ(peaks.count, 3 * 65536);
  expectMatchesBruteForce(content, allFrames(content), 0, 0, 3 * 65536);
}

TEST(AudioContentPeaks, SegmentsInTheMiddleOfBlocksUseTheBlocksOwnBins) {
  // Unaligned views into blocks, so content bins and block bins disagree.
  const AudioContent content(2, 48000,
                             {{noiseBlock(2, 4000, 3), 1000, 2500},
                              {noiseBlock(2, 300, 4), 3, 290},
                              {noiseBlock(2, 65536, 5), 0, 65536},
                              {noiseBlock(2, 9000, 6), 77, 8000}});
  const auto frames = allFrames(content);
  std::mt19937 engine(7);
  std::uniform_int_distribution<int64_t> frame(0, content.frameCount());
  for (int i = 0; i < 200; ++i) {
    int64_t a = frame(engine), b = frame(engine);
    if (a > b) std::swap(a, b);
    expectMatchesBruteForce(content, frames, i % 2, a, b);
  }
  expectMatchesBruteForce(content, frames, 0, 0, content.frameCount());
  expectMatchesBruteForce(content, frames, 1, 2500, 2790);
}

TEST(AudioContentPeaks, RangesAreClampedAndEmptyRangesGiveTheSentinels) {
  const AudioContent content(noiseChannels(1, 1000, 8), 48000);
  expectMatchesBruteForce(content, allFrames(content), 0, 900, 5000);
  EXPECT_EQ(content.peaks(0, {900, 5000}).count, 100);
  EXPECT_EQ(content.peaks(0, {-50, 10}).count, 10);
  for (const FrameRange range : {FrameRange{500, 500}, FrameRange{1000, 2000}, FrameRange{-20, -10}}) {
    const PeakSummary peaks = content.peaks(0, range);
    EXPECT_EQ(peaks, PeakSummary::empty());
    EXPECT_TRUE(peaks.isEmpty());
    EXPECT_EQ(peaks.rms(), 0);
  }
  EXPECT_EQ(AudioContent(1, 48000).peaks(0, {0, 100}), PeakSummary::empty());
}

// The real-time claim of reading: read, readPadded and peaks allocate nothing, also across
// segments and block edges.
TEST(AudioContentPeaks, ReadingAndPeaksAllocateNothing) {
  AudioContent content(noiseChannels(2, 200000, 5), 48000);
  content.insert(AudioContent(noiseChannels(2, 70001, 6), 48000), 1234);
  content.removeSubrange({90000, 91000});
  ASSERT_GT(content.segmentCount(), 2);
  std::vector<float> left(50000), right(50000);
  const std::vector<float*> destinations{left.data(), right.data()};
  PeakSummary total = PeakSummary::empty();
  const int64_t allocations = quar::testing::allocationsDuring([&] {
    for (int64_t start = 0; start + 50000 <= content.frameCount(); start += 33333) {
      content.read({start, start + 50000}, destinations);
      content.readPadded({start - 100, start + 49900}, destinations);
      for (int channel = 0; channel < 2; ++channel) {
        for (const PeakSummary part : {content.peaks(channel, {start, start + 50000}),
                                       content.peaks(channel, {start + 7, start + 7 + 4095})})
          total.merge(part.min, part.max, part.sumSquares, part.count);
      }
    }
  });
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(total.count, 0);
}

TEST(AudioContentPeaksDeathTest, ChannelOutsideTheContentStopsTheProgram) {
  const AudioContent content(noiseChannels(2, 10, 9), 48000);
  EXPECT_DEATH(content.peaks(2, {0, 10}), "precondition failed");
  EXPECT_DEATH(content.peaks(-1, {0, 10}), "precondition failed");
}
