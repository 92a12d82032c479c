#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>

#include "ContentTestSupport.h"
#include "core/AudioContent.h"

using namespace quar;
using namespace quar::testing;

namespace {

using Planar = std::vector<std::vector<float>>;

struct Call {
  int64_t start;
  size_t frames;
  size_t buffers;
  bool operator==(const Call&) const = default;
};

} // namespace

TEST(AudioContentTransform, CallsBackPerChunkAndSplicesTheResult) {
  const int64_t lower = 50, frames = 2 * 65536 + 100;
  const AudioContent content(noiseChannels(2, 200000, 1), 48000);
  const Planar before = allFrames(content);
  std::vector<Call> calls;
  const AudioContent result =
      content.transformed({lower, lower + frames}, std::nullopt, 65536, [&](MutableChannelViews chunk, int64_t start) {
        calls.push_back({start, chunk[0].size(), chunk.size()});
        for (size_t c = 0; c < chunk.size(); ++c)
          for (size_t f = 0; f < chunk[c].size(); ++f) {
            // Buffers hold the current samples on entry.
            ASSERT_EQ(chunk[c][f], before[c][static_cast<size_t>(start) + f]);
            chunk[c][f] = -chunk[c][f];
          }
      });
  EXPECT_EQ(calls, (std::vector<Call>{{lower, 65536, 2}, {lower + 65536, 65536, 2}, {lower + 2 * 65536, 100, 2}}));
  EXPECT_EQ(result.frameCount(), content.frameCount());
  EXPECT_EQ(result.channelCount(), 2);
  EXPECT_EQ(result.sampleRate(), 48000);
  const Planar after = allFrames(result);
  for (size_t c = 0; c < 2; ++c)
    for (int64_t f = 0; f < content.frameCount(); ++f) {
      const float x = before[c][static_cast<size_t>(f)];
      ASSERT_EQ(after[c][static_cast<size_t>(f)], f >= lower && f < lower + frames ? -x : x) << f;
    }
  EXPECT_EQ(allFrames(content), before);
  // Frames outside the range still view the receiver's blocks.
  EXPECT_EQ(result.segments().front().block, content.segments().front().block);
  EXPECT_EQ(result.segments().back().block, content.segments().back().block);
}

TEST(AudioContentTransform, OnlySelectedChannelsReachTheCallback) {
  const AudioContent content(noiseChannels(2, 1000, 2), 48000);
  const Planar before = allFrames(content);
  struct Case {
    std::optional<std::set<int>> channels;
    std::vector<bool> changed;
  };
  const Case cases[] = {{std::set<int>{1}, {false, true}},
                        {std::set<int>{5}, {false, false}},
                        {std::set<int>{-1, 0, 7}, {true, false}},
                        {std::nullopt, {true, true}}};
  for (const Case& k : cases) {
    size_t buffers = 0;
    const AudioContent result = content.transformed({100, 900}, k.channels, 300, [&](MutableChannelViews chunk, int64_t) {
      buffers = chunk.size();
      for (auto& channel : chunk)
        for (float& x : channel) x += 1;
    });
    const Planar after = allFrames(result);
    EXPECT_EQ(buffers, static_cast<size_t>(std::count(k.changed.begin(), k.changed.end(), true)));
    for (size_t c = 0; c < 2; ++c)
      for (size_t f = 0; f < 1000; ++f) {
        const bool inRange = f >= 100 && f < 900;
        ASSERT_EQ(after[c][f], before[c][f] + (inRange && k.changed[c] ? 1.0f : 0.0f)) << c << " " << f;
      }
    // The range is copied into new blocks even where nothing changed.
    EXPECT_FALSE(blocksOf(content).contains(result.segments()[1].block.get()));
  }
}

TEST(AudioContentTransform, EmptyRangesReturnTheReceiverWithoutCallingBack) {
  const AudioContent content(noiseChannels(1, 1000, 3), 48000);
  for (const FrameRange range : {FrameRange{500, 500}, FrameRange{1000, 3000}, FrameRange{-10, 0}}) {
    bool called = false;
    const AudioContent result =
        content.transformed(range, std::nullopt, 65536, [&](MutableChannelViews, int64_t) { called = true; });
    EXPECT_FALSE(called);
    ASSERT_EQ(result.segmentCount(), content.segmentCount());
    EXPECT_EQ(result.segments()[0].block, content.segments()[0].block);
  }
}

TEST(AudioContentTransform, AFailingCallbackLeavesNoResult) {
  const AudioContent content(noiseChannels(2, 1000, 4), 48000);
  const Planar before = allFrames(content);
  int calls = 0;
  EXPECT_THROW(content.transformed(content.fullRange(), std::nullopt, 300,
                                   [&](MutableChannelViews chunk, int64_t) {
                                     for (auto& channel : chunk) std::fill(channel.begin(), channel.end(), 0.0f);
                                     if (++calls == 2) throw std::runtime_error("stop");
                                   }),
               std::runtime_error);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(allFrames(content), before);
}

TEST(AudioContentTransformDeathTest, ChunkSizeBelowOneStopsTheProgram) {
  const AudioContent content(noiseChannels(1, 10, 5), 48000);
  EXPECT_DEATH(content.transformed({0, 10}, std::nullopt, 0, [](MutableChannelViews, int64_t) {}), "precondition failed");
}

// The concurrent form calls back once per 65536-frame chunk, whatever the order, and splices in
// exactly what the ordered form makes: the same samples in the same block layout, with unselected
// channels and frames outside the range kept.
TEST(AudioContentTransform, ConcurrentFormMatchesTheOrderedForm) {
  AudioContent content(noiseChannels(3, 300000, 5), 44100);
  content.removeSubrange({1000, 2000});  // a segment boundary inside the range
  const auto body = [](MutableChannelViews chunk, int64_t start) {
    for (const std::span<float>& buffer : chunk)
      for (size_t f = 0; f < buffer.size(); ++f) buffer[f] = buffer[f] * 0.5f + static_cast<float>(start + static_cast<int64_t>(f)) * 1e-7f;
  };
  for (const FrameRange range : {FrameRange{70, 250070}, FrameRange{0, 400000}, FrameRange{5, 6}}) {
    for (const std::optional<std::set<int>>& channels : {std::optional<std::set<int>>{}, std::optional<std::set<int>>{{0, 2}}}) {
      std::mutex mutex;
      std::set<int64_t> starts;
      const AudioContent concurrent = content.transformedConcurrently(range, channels, [&](MutableChannelViews chunk, int64_t start) {
        {
          std::lock_guard lock(mutex);
          starts.insert(start);
        }
        body(chunk, start);
      });
      const AudioContent ordered = content.transformed(range, channels, 65536, body);
      EXPECT_EQ(allFrames(concurrent), allFrames(ordered));
      EXPECT_EQ(segmentCounts(concurrent), segmentCounts(ordered));
      const FrameRange clamped = range.clamped(content.fullRange());
      std::set<int64_t> expected;
      for (int64_t start = clamped.lowerBound; start < clamped.upperBound; start += 65536) expected.insert(start);
      EXPECT_EQ(starts, expected);
    }
  }
}
