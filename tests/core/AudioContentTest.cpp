#include <gtest/gtest.h>

#include <algorithm>

#include "ContentTestSupport.h"
#include "base/AudioSource.h"
#include "core/AudioContent.h"

using namespace quar;
using namespace quar::testing;

namespace {

using Planar = std::vector<std::vector<float>>;

// Reference splice on plain arrays, with the content's clamping.
Planar spliced(Planar base, int64_t lower, int64_t upper, const Planar& other) {
  const auto frames = static_cast<int64_t>(base[0].size());
  lower = std::clamp<int64_t>(lower, 0, frames);
  upper = std::clamp<int64_t>(upper, 0, frames);
  for (size_t c = 0; c < base.size(); ++c) {
    base[c].erase(base[c].begin() + lower, base[c].begin() + upper);
    if (!other.empty()) base[c].insert(base[c].begin() + lower, other[c].begin(), other[c].end());
  }
  return base;
}

// A stereo content of three segments (1000, 300 and 700 frames) viewing the middle of blocks.
AudioContent threeSegments() {
  return AudioContent(2, 48000,
                      {{noiseBlock(2, 5000, 1), 123, 1000}, {noiseBlock(2, 400, 2), 50, 300}, {noiseBlock(2, 700, 3), 0, 700}});
}

} // namespace

TEST(AudioContent, ConstructionFromChannelsCopiesIntoBlocks) {
  const Planar channels = noiseChannels(2, 70000, 7);
  const AudioContent content(channels, 44100);
  EXPECT_EQ(content.channelCount(), 2);
  EXPECT_EQ(content.sampleRate(), 44100);
  EXPECT_EQ(content.frameCount(), 70000);
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{65536, 4464}));
  EXPECT_EQ(allFrames(content), channels);

  const AudioContent empty(Planar{{}, {}, {}}, 8000);
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.channelCount(), 3);
  EXPECT_EQ(empty.segmentCount(), 0);
}

TEST(AudioContent, SegmentConstructionDropsEmptySegmentsAndIndexes) {
  const BlockRef block = noiseBlock(1, 100, 4);
  const AudioContent content(1, 48000, {{block, 10, 0}, {block, 20, 5}, {block, 0, 0}, {block, 90, 10}});
  EXPECT_EQ(segmentCounts(content), (std::vector<int64_t>{5, 10}));
  EXPECT_EQ(content.sample(0, 4), block->channel(0)[24]);
  EXPECT_EQ(content.sample(0, 5), block->channel(0)[90]);
  EXPECT_EQ(content.sample(0, 14), block->channel(0)[99]);
}

TEST(AudioContent, CopyingNeverSharesBlocks) {
  const Planar channels = noiseChannels(2, 1000, 8);
  const ArraySource source(channels, 22050);
  const AudioContent part = AudioContent::copying(source, FrameRange{100, 400});
  EXPECT_EQ(part.sampleRate(), 22050);
  EXPECT_EQ(part.frameCount(), 300);
  EXPECT_EQ(part.sample(1, 0), channels[1][100]);
  EXPECT_EQ(part.sample(0, 299), channels[0][399]);

  const AudioContent original = threeSegments();
  const AudioContent copy = AudioContent::copying(original);
  EXPECT_EQ(allFrames(copy), allFrames(original));
  for (const AudioBlock* block : blocksOf(copy)) EXPECT_FALSE(blocksOf(original).contains(block));
}

TEST(AudioContent, IdenticalMeansTheSameSegmentsOfTheSameBlocks) {
  const AudioContent a({{1, 2, 3, 4}, {5, 6, 7, 8}}, 48000);
  AudioContent b = a;
  EXPECT_TRUE(a.isIdentical(b));
  b.replaceSubrange(FrameRange(1, 2), a.slice(FrameRange(1, 2)));  // same samples, new segment list
  EXPECT_FALSE(a.isIdentical(b));
  EXPECT_FALSE(a.isIdentical(AudioContent::copying(a)));  // equal samples, other blocks
  EXPECT_FALSE(a.isIdentical(AudioContent({{1, 2, 3, 4}, {5, 6, 7, 8}}, 44100)));
}

TEST(AudioContent, Silence) {
  const AudioContent silence = AudioContent::silence(70000, 2, 48000);
  EXPECT_EQ(segmentCounts(silence), (std::vector<int64_t>{65536, 4464}));
  for (int c = 0; c < 2; ++c) {
    const PeakSummary peaks = silence.peaks(c, silence.fullRange());
    EXPECT_EQ(peaks.min, 0);
    EXPECT_EQ(peaks.max, 0);
  }
  for (int64_t frames : {0, -3}) {
    const AudioContent empty = AudioContent::silence(frames, 2, 48000);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.channelCount(), 2);
  }
}

TEST(AudioContent, ReadsAcrossSegmentBoundaries) {
  // One frame from each of many blocks, each taken from a different offset.
  std::vector<Segment> segments;
  std::vector<float> expected;
  for (unsigned i = 0; i < 40; ++i) {
    const BlockRef block = noiseBlock(1, 5, i);
    segments.push_back({block, i % 5, 1});
    expected.push_back(block->channel(0)[i % 5]);
  }
  const AudioContent content(1, 48000, segments);
  EXPECT_EQ(allFrames(content)[0], expected);
  for (auto [lower, upper] : std::vector<std::pair<int64_t, int64_t>>{{0, 1}, {3, 17}, {39, 40}, {12, 12}}) {
    std::vector<float> part(static_cast<size_t>(upper - lower));
    float* destination = part.data();
    content.read({lower, upper}, std::span(&destination, 1));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), expected.begin() + lower)) << lower << ".." << upper;
  }
  for (int64_t f = 0; f < 40; ++f) EXPECT_EQ(content.sample(0, f), expected[static_cast<size_t>(f)]);
}

TEST(AudioContent, ReadFillsOnlyTheContentsChannels) {
  const AudioContent mono(noiseChannels(1, 10, 5), 48000);
  std::vector<float> first(10, 9), second(10, 9);
  float* destinations[] = {first.data(), second.data()};
  mono.read({0, 10}, destinations);
  EXPECT_EQ(first, allFrames(mono)[0]);
  EXPECT_EQ(second, std::vector<float>(10, 9));

  const AudioContent stereo = threeSegments();
  std::vector<float> only(2000, 9);
  float* one[] = {only.data()};
  stereo.read(stereo.fullRange(), one);
  EXPECT_EQ(only, allFrames(stereo)[0]);
}

TEST(AudioContent, ReadPaddedZeroFillsEveryDestinationOutsideTheContent) {
  const AudioContent content(noiseChannels(2, 50, 6), 48000);
  const Planar frames = allFrames(content);
  struct Case {
    int64_t lower, upper;
  };
  for (const Case& k : {Case{-100, 100}, Case{-10, 5}, Case{45, 60}, Case{60, 80}, Case{-30, -20}, Case{0, 50}}) {
    const auto count = static_cast<size_t>(k.upper - k.lower);
    Planar destinations(3, std::vector<float>(count, 9));
    float* pointers[] = {destinations[0].data(), destinations[1].data(), destinations[2].data()};
    content.readPadded({k.lower, k.upper}, pointers);
    for (size_t d = 0; d < 3; ++d)
      for (int64_t f = k.lower; f < k.upper; ++f) {
        const float expected = d < 2 && f >= 0 && f < 50 ? frames[d][static_cast<size_t>(f)] : 0.0f;
        ASSERT_EQ(destinations[d][static_cast<size_t>(f - k.lower)], expected)
            << k.lower << ".." << k.upper << " destination " << d << " frame " << f;
      }
  }
}

TEST(AudioContent, SliceClampsAndSharesBlocks) {
  const AudioContent content = threeSegments();
  const Planar frames = allFrames(content);
  struct Case {
    int64_t lower, upper, expectedLower, expectedUpper;
  };
  for (const Case& k : {Case{900, 1400, 900, 1400}, Case{-50, 10, 0, 10}, Case{1950, 9000, 1950, 2000},
                        Case{0, 2000, 0, 2000}, Case{3000, 4000, 2000, 2000}, Case{-9, -1, 0, 0}, Case{500, 500, 500, 500}}) {
    const AudioContent slice = content.slice({k.lower, k.upper});
    EXPECT_EQ(slice.channelCount(), 2);
    EXPECT_EQ(slice.sampleRate(), 48000);
    ASSERT_EQ(slice.frameCount(), k.expectedUpper - k.expectedLower) << k.lower << ".." << k.upper;
    const Planar sliced = allFrames(slice);
    for (size_t c = 0; c < 2; ++c)
      EXPECT_TRUE(std::equal(sliced[c].begin(), sliced[c].end(), frames[c].begin() + k.expectedLower));
    for (const AudioBlock* block : blocksOf(slice)) EXPECT_TRUE(blocksOf(content).contains(block));
  }
}

TEST(AudioContent, EditsClampTheirRangesLikeAPlainArraySplice) {
  const AudioContent base(noiseChannels(2, 1000, 9), 48000);
  const AudioContent insertion(noiseChannels(2, 30, 10), 48000);
  const AudioContent emptyOtherRate(2, 22050);
  const Planar baseFrames = allFrames(base), insertionFrames = allFrames(insertion);

  struct Case {
    const char* name;
    void (*edit)(AudioContent&, const AudioContent&);
    int64_t lower, upper;  // the splice the edit stands for, before clamping
    bool inserts;
  };
  const Case cases[] = {
      {"replace past the end", [](AudioContent& x, const AudioContent& o) { x.replaceSubrange({10, 5000000}, o); }, 10, 5000000, true},
      {"replace before the start", [](AudioContent& x, const AudioContent& o) { x.replaceSubrange({-20, 5}, o); }, -20, 5, true},
      {"replace in the middle", [](AudioContent& x, const AudioContent& o) { x.replaceSubrange({400, 600}, o); }, 400, 600, true},
      {"insert before the start", [](AudioContent& x, const AudioContent& o) { x.insert(o, -5); }, 0, 0, true},
      {"insert past the end", [](AudioContent& x, const AudioContent& o) { x.insert(o, 1100); }, 1000, 1000, true},
      {"insert in the middle", [](AudioContent& x, const AudioContent& o) { x.insert(o, 333); }, 333, 333, true},
      {"append", [](AudioContent& x, const AudioContent& o) { x.append(o); }, 1000, 1000, true},
      {"delete everything", [](AudioContent& x, const AudioContent&) { x.removeSubrange({0, 1000}); }, 0, 1000, false},
      {"delete a wider range", [](AudioContent& x, const AudioContent&) { x.removeSubrange({-10, 2000}); }, 0, 1000, false},
      {"delete in the middle", [](AudioContent& x, const AudioContent&) { x.removeSubrange({100, 250}); }, 100, 250, false},
      {"delete outside", [](AudioContent& x, const AudioContent&) { x.removeSubrange({1500, 2000}); }, 1500, 2000, false},
  };
  for (const Case& k : cases) {
    AudioContent content = base;
    k.edit(content, insertion);
    const Planar expected = spliced(baseFrames, k.lower, k.upper, k.inserts ? insertionFrames : Planar{});
    EXPECT_EQ(content.channelCount(), 2) << k.name;
    EXPECT_EQ(content.sampleRate(), 48000) << k.name;
    EXPECT_EQ(content.frameCount(), static_cast<int64_t>(expected[0].size())) << k.name;
    EXPECT_EQ(allFrames(content), expected) << k.name;
  }

  AudioContent content = base;
  content.replaceSubrange({100, 200}, emptyOtherRate);
  EXPECT_EQ(allFrames(content), spliced(baseFrames, 100, 200, {}));
  EXPECT_EQ(content.sampleRate(), 48000);

  content.removeSubrange({0, content.frameCount()});
  EXPECT_TRUE(content.isEmpty());
  EXPECT_EQ(content.segmentCount(), 0);
  EXPECT_EQ(content.channelCount(), 2);
  EXPECT_EQ(content.sampleRate(), 48000);
}

TEST(AudioContent, EditsNeverCopySamples) {
  const AudioContent a = threeSegments();
  const AudioContent b(noiseChannels(2, 500, 11), 48000);
  std::set<const AudioBlock*> originals = blocksOf(a);
  originals.merge(blocksOf(b));

  AudioContent content = a;
  content.removeSubrange({100, 1100});
  content.insert(b, 50);
  content.insert(a.slice({1200, 1900}), 400);
  content.append(b.slice({10, 20}));
  content.replaceSubrange({5, 15}, b);
  for (const AudioBlock* block : blocksOf(content)) EXPECT_TRUE(originals.contains(block));
  for (const AudioBlock* block : blocksOf(content.slice({30, 900}))) EXPECT_TRUE(originals.contains(block));
}

TEST(AudioContent, CopiesAreIndependentValues) {
  AudioContent original = threeSegments();
  const AudioContent copy = original;
  const Planar frames = allFrames(copy);
  original.removeSubrange({0, 1500});
  original.append(AudioContent(noiseChannels(2, 10, 12), 48000));
  EXPECT_EQ(allFrames(copy), frames);
  EXPECT_EQ(copy.frameCount(), 2000);
}

TEST(AudioContent, SplicesAContentIntoItself) {
  AudioContent content = threeSegments();
  const Planar frames = allFrames(content);
  content.replaceSubrange({10, 20}, content);
  EXPECT_EQ(allFrames(content), spliced(frames, 10, 20, frames));
  content.insert(content, content.frameCount());
  EXPECT_EQ(content.frameCount(), 2 * (2000 - 10 + 2000));
}

TEST(AudioContentDeathTest, BrokenContractsStopTheProgram) {
  const AudioContent stereo = threeSegments();
  const AudioContent mono(noiseChannels(1, 10, 13), 48000);
  const AudioContent otherRate(noiseChannels(2, 10, 14), 44100);
  std::vector<float> a(3000), b(3000);
  float* destinations[] = {a.data(), b.data()};
  EXPECT_DEATH(AudioContent(0, 48000), "precondition failed");
  EXPECT_DEATH(AudioContent(Planar{}, 48000), "precondition failed");
  EXPECT_DEATH(AudioContent(Planar{{1, 2}, {1}}, 48000), "precondition failed");
  EXPECT_DEATH(AudioContent(1, 48000, {{noiseBlock(2, 10, 1), 0, 10}}), "precondition failed");
  EXPECT_DEATH(AudioContent(1, 48000, {{noiseBlock(1, 10, 1), 5, 6}}), "precondition failed");
  // offset + count would wrap around: still outside the block.
  EXPECT_DEATH(AudioContent(1, 48000, {{noiseBlock(1, 10, 1), 1, INT64_MAX}}), "precondition failed");
  EXPECT_DEATH(AudioContent(stereo).replaceSubrange({0, 0}, mono), "precondition failed");
  EXPECT_DEATH(AudioContent(stereo).insert(otherRate, 0), "precondition failed");
  EXPECT_DEATH(AudioContent(stereo).insert(AudioContent(1, 48000), 0), "precondition failed");
  EXPECT_DEATH(stereo.read({1990, 2001}, destinations), "precondition failed");
  EXPECT_DEATH(stereo.read({-1, 10}, destinations), "precondition failed");
  EXPECT_DEATH(stereo.sample(0, 2000), "precondition failed");
  EXPECT_DEATH(stereo.sample(2, 0), "precondition failed");
}
