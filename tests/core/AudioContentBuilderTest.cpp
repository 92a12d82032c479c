#include <gtest/gtest.h>

#include "ContentTestSupport.h"
#include "core/AudioContentBuilder.h"

using namespace quar;
using namespace quar::testing;

using Planar = std::vector<std::vector<float>>;

TEST(AudioContentBuilder, SealsFullBlocksAndFlushesTheRestOnBuild) {
  const Planar chunk = noiseChannels(2, 65546, 1);
  AudioContentBuilder builder(2, 48000);
  builder.append(chunk);
  EXPECT_EQ(builder.frameCount(), 65546);
  const AudioContent content = builder.build();
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{65536, 10}));
  EXPECT_EQ(allFrames(content), chunk);
  EXPECT_EQ(content.sampleRate(), 48000);
}

TEST(AudioContentBuilder, ChunksOfAnySizeFillWholeBlocks) {
  const Planar source = noiseChannels(3, 150000, 2);
  AudioContentBuilder builder(3, 44100);
  for (size_t start = 0, size = 1; start < source[0].size(); start += size, size = size * 7 % 9001 + 1) {
    const size_t n = std::min(size, source[0].size() - start);
    std::vector<std::span<const float>> views;
    for (const auto& channel : source) views.emplace_back(channel.data() + start, n);
    builder.append(ChannelViews(views));
  }
  const AudioContent content = builder.build();
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{65536, 65536, 18928}));
  EXPECT_EQ(allFrames(content), source);
}

// A long chunk after a partly filled block completes that block, then its whole blocks are
// built concurrently and join in order, the rest pending.
TEST(AudioContentBuilder, LongChunksBuildTheirWholeBlocksInOrder) {
  const Planar source = noiseChannels(2, 400000, 5);
  AudioContentBuilder builder(2, 48000);
  const auto part = [&](size_t start, size_t count) {
    std::vector<std::span<const float>> views;
    for (const auto& channel : source) views.emplace_back(channel.data() + start, count);
    builder.append(ChannelViews(views));
  };
  part(0, 1000);
  part(1000, 330000);
  part(331000, 69000);
  const AudioContent content = builder.build();
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{65536, 65536, 65536, 65536, 65536, 65536, 6784}));
  EXPECT_EQ(allFrames(content), source);
  for (const auto& segment : content.segments()) {
    const QuarSummary expected(blockChannels(*segment.block));
    EXPECT_EQ(segment.block->summary().sumSquares, expected.sumSquares);
    EXPECT_EQ(segment.block->summary().blockMax, expected.blockMax);
  }
}

TEST(AudioContentBuilder, SilenceBuildsZeroBlocks) {
  AudioContentBuilder builder(2, 48000);
  builder.appendSilence(200000);
  builder.appendSilence(0);
  builder.appendSilence(-5);
  const AudioContent content = builder.build();
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{65536, 65536, 65536, 3392}));
  for (const auto& segment : content.segments())
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(segment.block->summary().blockMin[static_cast<size_t>(c)], 0);
      EXPECT_EQ(segment.block->summary().blockMax[static_cast<size_t>(c)], 0);
    }
}

TEST(AudioContentBuilder, AppendedContentIsSharedAfterAShortBlock) {
  const AudioContent appended(2, 48000,
                              {{noiseBlock(2, 300, 3), 20, 200}, {noiseBlock(2, 65536, 4), 0, 65536}});
  const Planar head = noiseChannels(2, 100, 5);
  AudioContentBuilder builder(2, 48000);
  builder.append(head);
  builder.append(appended);
  const AudioContent content = builder.build();
  ASSERT_EQ(content.segmentCount(), 3);
  EXPECT_EQ(content.segments()[0].count, 100);
  EXPECT_EQ(content.segments()[0].block->frameCount(), 100);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(content.segments()[i + 1].block, appended.segments()[i].block);
    EXPECT_EQ(content.segments()[i + 1].offset, appended.segments()[i].offset);
    EXPECT_EQ(content.segments()[i + 1].count, appended.segments()[i].count);
  }
  EXPECT_EQ(content.readChannels({0, 100}), head);
}

TEST(AudioContentBuilder, EmptyChunksAndEmptyBuilds) {
  AudioContentBuilder builder(3, 96000);
  builder.append(Planar{});
  builder.append(Planar{{}, {1, 2, 3}});  // the first buffer decides the length
  builder.append(ChannelViews{});
  const AudioContent empty = builder.build();
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.channelCount(), 3);
  EXPECT_EQ(empty.sampleRate(), 96000);

  builder.append(Planar{{1}, {2}, {3}});
  EXPECT_EQ(builder.build().frameCount(), 1);
  builder.append(Planar{{4}, {5}, {6}});
  const AudioContent longer = builder.build();
  EXPECT_EQ(allFrames(longer), (Planar{{1, 4}, {2, 5}, {3, 6}}));
}

TEST(AudioContentBuilder, SnapshotsShowPendingFramesAndStayUnchanged) {
  const Planar first = noiseChannels(2, 70000, 6);
  const Planar second = noiseChannels(2, 1000, 7);
  AudioContentBuilder builder(2, 48000);
  builder.append(first);
  const AudioContent snapshot = builder.snapshot();
  const AudioContent again = builder.snapshot();
  EXPECT_EQ(snapshot.frameCount(), builder.frameCount());
  EXPECT_EQ(allFrames(snapshot), first);
  EXPECT_EQ(allFrames(again), first);

  builder.append(second);
  EXPECT_EQ(builder.snapshot().frameCount(), builder.frameCount());
  EXPECT_EQ(allFrames(snapshot), first);  // later appends do not reach an earlier snapshot

  const AudioContent built = builder.build();
  EXPECT_EQ(segmentCounts(built), (std::vector<int64_t>{65536, 5464}));
  EXPECT_EQ(built.readChannels({0, 70000}), first);
  EXPECT_EQ(built.readChannels({70000, 71000}), second);
  for (const AudioBlock* block : blocksOf(built)) EXPECT_NE(block, snapshot.segments().back().block.get());
}

TEST(AudioContentBuilderDeathTest, BrokenContractsStopTheProgram) {
  EXPECT_DEATH(AudioContentBuilder(-1, 48000), "precondition failed");
  EXPECT_DEATH(AudioContentBuilder(0, 48000).build(), "precondition failed");
  EXPECT_DEATH(AudioContentBuilder(2, 48000).append(Planar{{1, 2}}), "precondition failed");
  EXPECT_DEATH(AudioContentBuilder(2, 48000).append(Planar{{1, 2}, {1}}), "precondition failed");
  EXPECT_DEATH(AudioContentBuilder(2, 48000).append(AudioContent(1, 48000)), "precondition failed");
}
