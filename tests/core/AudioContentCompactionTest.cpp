#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>

#include "ContentTestSupport.h"
#include "base/QuarError.h"
#include "core/AudioContent.h"
#include "core/BlockStore.h"

using namespace quar;
using namespace quar::testing;

namespace {

// Segments viewing the middle of their own blocks, so copies are told apart from views.
struct Layout {
  std::vector<int64_t> counts;

  Layout& add(int64_t count, int times = 1) {
    for (int i = 0; i < times; ++i) counts.push_back(count);
    return *this;
  }
  AudioContent content() const {
    std::vector<Segment> segments;
    unsigned seed = 1;
    for (int64_t count : counts) segments.push_back({noiseBlock(2, static_cast<size_t>(count + 50), seed++), 37, count});
    return AudioContent(2, 48000, segments);
  }
};

// Compaction runs after every splice; an empty append changes nothing else.
AudioContent spliced(AudioContent content) {
  content.append(AudioContent(2, 48000));
  return content;
}

} // namespace

TEST(AudioContentCompaction, CopiesRunsOfSmallSegmentsOnlyWhenFragmented) {
  struct Case {
    const char* name;
    Layout layout;
    std::vector<int64_t> expected;  // empty: segments unchanged
  };
  const Case cases[] = {
      {"8 small segments", Layout().add(100, 8), {}},
      {"16 small of 20", Layout().add(4096).add(100, 8).add(4096).add(4095).add(100, 7).add(4096, 2), {}},
      {"17 small of 20", Layout().add(4096).add(4095).add(100, 8).add(4096).add(100, 8).add(4096),
       {4096, 4895, 4096, 800, 4096}},
      {"20 small", Layout().add(1000, 20), {20000}},
      {"70 small", Layout().add(1000, 70), {65536, 464, 4000}},
      {"run closing past a block", Layout().add(4000, 17).add(5000), {65536, 2464, 5000}},
      {"alternating small and large",
       [] {
         Layout layout;
         for (int i = 0; i < 18; ++i) layout.add(100).add(5000);
         return layout;
       }(),
       {}},
  };
  for (const Case& k : cases) {
    const AudioContent before = k.layout.content();
    const AudioContent after = spliced(before);
    EXPECT_EQ(allFrames(after), allFrames(before)) << k.name;
    if (k.expected.empty()) {
      ASSERT_EQ(after.segmentCount(), before.segmentCount()) << k.name;
      for (size_t i = 0; i < before.segments().size(); ++i) {
        EXPECT_EQ(after.segments()[i].block, before.segments()[i].block) << k.name;
        EXPECT_EQ(after.segments()[i].offset, before.segments()[i].offset) << k.name;
      }
      continue;
    }
    EXPECT_EQ(segmentCounts(after), k.expected) << k.name;
    // Large segments keep their blocks; each copied run fills new blocks from frame 0.
    int64_t sharedLarge = 0;
    for (const auto& segment : after.segments()) {
      if (blocksOf(before).contains(segment.block.get())) {
        EXPECT_GE(segment.count, AudioContent::smallSegmentLimit) << k.name;
        ++sharedLarge;
      } else {
        EXPECT_EQ(segment.offset, 0) << k.name;
        EXPECT_EQ(segment.count, segment.block->frameCount()) << k.name;
      }
    }
    EXPECT_EQ(sharedLarge, std::count_if(k.layout.counts.begin(), k.layout.counts.end(),
                                         [](int64_t n) { return n >= AudioContent::smallSegmentLimit; }))
        << k.name;
  }
}

TEST(AudioContentCompaction, ManySmallPastesStayBounded) {
  AudioContent content(noiseChannels(1, 200000, 3), 48000);
  std::vector<float> model = allFrames(content)[0];
  const AudioContent piece(noiseChannels(1, 10, 4), 48000);
  const std::vector<float> pieceFrames = allFrames(piece)[0];
  for (int64_t i = 0; i < 300; ++i) {
    const int64_t at = (i * 7919) % content.frameCount();
    content.insert(piece, at);
    model.insert(model.begin() + at, pieceFrames.begin(), pieceFrames.end());
  }
  EXPECT_LT(content.segmentCount(), 100);  // 601 without compaction
  EXPECT_EQ(allFrames(content)[0], model);
}

// A splice whose compaction finds no room for the blocks it makes throws and leaves the content
// as it was: the same segments of the same blocks, every frame readable. With room, the same
// splices do compact.
TEST(AudioContentCompaction, ASpliceWhoseCompactionFindsNoRoomChangesNothing) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quar-compaction-" + std::to_string(::getpid()));
  const std::shared_ptr<BlockStore> store = BlockStore::open(folder.string());
  ASSERT_TRUE(store);
  BlockStore::replaceCurrent(store);
  // Large segments around and between runs of small ones, so the splices both move whole
  // segments and cut pieces on either side of the range.
  const AudioContent fragmented = Layout().add(5000).add(1000, 20).add(70000).add(1000, 20).add(5000).content();
  const AudioContent insert = Layout().add(300).content();
  struct Case {
    const char* name;
    std::function<void(AudioContent&)> splice;
  };
  const Case cases[] = {
      {"delete inside", [](AudioContent& c) { c.removeSubrange(FrameRange(5500, 96500)); }},
      {"insert inside", [&](AudioContent& c) { c.insert(insert, 12345); }},
      {"insert at the start", [&](AudioContent& c) { c.insert(insert, 0); }},
      {"append", [&](AudioContent& c) { c.append(insert); }},
      {"replace a run", [&](AudioContent& c) { c.replaceSubrange(FrameRange(5000, 15000), insert); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    AudioContent roomy = fragmented;
    k.splice(roomy);
    EXPECT_LT(roomy.segmentCount(), fragmented.segmentCount());

    store->setCapacity(store->bytesInUse());
    AudioContent content = fragmented;
    try {
      k.splice(content);
      ADD_FAILURE() << "compaction made blocks in a full store";
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::outOfSpace);
    }
    store->setCapacity(std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(content.isIdentical(fragmented));
    EXPECT_EQ(allFrames(content), allFrames(fragmented));
    // And it splices as well as ever.
    k.splice(content);
    EXPECT_EQ(allFrames(content), allFrames(roomy));
  }
  BlockStore::replaceCurrent(nullptr);
  std::filesystem::remove_all(folder);
}
