#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "ContentTestSupport.h"
#include "core/AudioContentAssembler.h"
#include "core/AudioContentBuilder.h"

using namespace quar;
using namespace quar::testing;

using Planar = std::vector<std::vector<float>>;

namespace {

// Frames [start, start + count) of every channel.
Planar slice(const Planar& source, size_t start, size_t count) {
  Planar part;
  for (const auto& channel : source) part.emplace_back(channel.begin() + static_cast<ptrdiff_t>(start),
                                                       channel.begin() + static_cast<ptrdiff_t>(start + count));
  return part;
}

// Writes the frames into a room of the assembler for `start` and finishes it.
void add(AudioContentAssembler& assembler, const Planar& frames, int64_t start) {
  const auto count = static_cast<int64_t>(frames.front().size());
  const std::unique_ptr<BlockRoom> room = assembler.room(static_cast<int>(frames.size()), start, count);
  for (size_t c = 0; c < frames.size(); ++c) std::copy(frames[c].begin(), frames[c].end(), room->channels()[c]);
  room->finish(count);
}

} // namespace

// Blocks added in reverse order from several threads build the content the builder makes from
// the same frames in order, block for block, summaries included.
TEST(AudioContentAssembler, BuildsWhatTheBuilderBuildsWhateverTheOrder) {
  const Planar source = noiseChannels(2, 200000, 3);
  constexpr size_t block = AudioBlock::preferredFrameCount;
  AudioContentAssembler assembler(2, 44100);
  std::vector<std::thread> threads;
  for (size_t start = (source[0].size() - 1) / block * block;; start -= block) {
    threads.emplace_back([&, start] {
      add(assembler, slice(source, start, std::min(block, source[0].size() - start)), static_cast<int64_t>(start));
    });
    if (start == 0) break;
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(assembler.frameCount(), 200000);

  AudioContentBuilder builder(2, 44100);
  builder.append(source);
  const AudioContent expected = builder.build();
  const AudioContent content = assembler.build();
  EXPECT_EQ(content.sampleRate(), 44100);
  EXPECT_EQ(segmentCounts(content), segmentCounts(expected));
  EXPECT_EQ(allFrames(content), source);
  for (size_t i = 0; i < content.segments().size(); ++i) {
    const QuarSummary& got = content.segments()[i].block->summary();
    const QuarSummary& want = expected.segments()[i].block->summary();
    EXPECT_EQ(got.sumSquares, want.sumSquares);
    EXPECT_EQ(got.blockMax, want.blockMax);
  }
}

// A room finished with fewer frames than it was made for makes a block of just those; one
// finished empty or dropped adds nothing.
TEST(AudioContentAssembler, RoomsFinishedShortOrNotAtAll) {
  const Planar source = noiseChannels(2, 5000, 5);
  AudioContentAssembler assembler(2, 48000);
  {
    const std::unique_ptr<BlockRoom> room = assembler.room(2, 0, 8192);
    ASSERT_EQ(room->channels().size(), 2u);
    for (size_t c = 0; c < 2; ++c) std::copy(source[c].begin(), source[c].end(), room->channels()[c]);
    room->finish(5000);
  }
  assembler.room(2, 5000, 100)->finish(0);
  static_cast<void>(assembler.room(2, 5000, 100));
  EXPECT_EQ(assembler.frameCount(), 5000);
  const AudioContent content = assembler.build();
  ASSERT_EQ(content.segmentCount(), 1);
  EXPECT_EQ(content.segments().front().block->frameCount(), 5000);
  EXPECT_EQ(allFrames(content), source);
  EXPECT_EQ(content.peaks(1, content.fullRange()), AudioContent(source, 48000).peaks(1, content.fullRange()));
}

TEST(AudioContentAssembler, NothingAddedBuildsEmptyContent) {
  AudioContentAssembler assembler(1, 48000);
  EXPECT_EQ(assembler.frameCount(), 0);
  EXPECT_TRUE(assembler.build().isEmpty());
}

TEST(AudioContentAssemblerDeathTest, GapsAndOverlapsStopTheProgram) {
  const Planar part = noiseChannels(1, 10, 4);
  EXPECT_DEATH(
      {
        AudioContentAssembler assembler(1, 48000);
        add(assembler, part, 0);
        add(assembler, part, 20);
        assembler.build();
      },
      "gaps");
  EXPECT_DEATH(
      {
        AudioContentAssembler assembler(1, 48000);
        add(assembler, part, 0);
        add(assembler, part, 0);
      },
      "one frame");
}
