#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/Buffers.h"

using namespace quar;

namespace {

// Frame f of channel c reads as f + 1 + 1000·c (never 0), and every read is counted.
class CountingSource final : public AudioSource {
public:
  CountingSource(int channels, int64_t frames) : channels_(channels), frames_(frames) {}
  int channelCount() const override { return channels_; }
  double sampleRate() const override { return 48000; }
  int64_t frameCount() const override { return frames_; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    ++reads;
    EXPECT_TRUE(range.lowerBound >= 0 && range.upperBound <= frames_);
    for (size_t c = 0; c < destinations.size(); ++c)
      for (int64_t f = range.lowerBound; f < range.upperBound; ++f)
        destinations[c][f - range.lowerBound] = static_cast<float>(f + 1 + 1000 * static_cast<int64_t>(c));
  }
  mutable int reads = 0;

private:
  int channels_;
  int64_t frames_;
};

std::vector<float> samples(const ChannelBuffers& buffers, int channel, int64_t from, int64_t to) {
  return {buffers.channel(channel) + from, buffers.channel(channel) + to};
}

// Source values (channel 0) for frames [first, last), with zeros written as 0.
std::vector<float> expected(std::initializer_list<std::pair<int64_t, int64_t>> parts) {
  std::vector<float> values;
  for (auto [first, last] : parts)
    for (int64_t f = first; f < last; ++f) values.push_back(first < 0 ? 0.0f : static_cast<float>(f + 1));
  return values;
}

} // namespace

TEST(ChannelBuffers, CapacityIsAtLeastOneAndMemoryStartsZeroed) {
  ChannelBuffers empty(2, 0);
  EXPECT_EQ(empty.capacity(), 1);
  EXPECT_EQ(empty.channelCount(), 2);
  EXPECT_EQ(empty.channel(1)[0], 0.0f);
  EXPECT_EQ(ChannelBuffers(0, 8).pointers().size(), 0u);

  ChannelBuffers buffers(2, 4);
  buffers.channel(0)[3] = 5;
  buffers.reserve(4);  // not larger: nothing changes
  buffers.reserve(2);
  EXPECT_EQ(buffers.capacity(), 4);
  EXPECT_EQ(buffers.channel(0)[3], 5.0f);
  buffers.reserve(100);
  EXPECT_EQ(buffers.capacity(), 100);
  for (int c = 0; c < 2; ++c) EXPECT_EQ(samples(buffers, c, 0, 100), std::vector<float>(100, 0.0f));

  const auto views = buffers.buffers(10);
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[1].data(), buffers.channel(1));
  EXPECT_EQ(views[1].size(), 10u);
}

TEST(ChannelBuffers, ReadZeroPaddedPutsEveryFrameAtItsPosition) {
  // Source of 100 frames; zeros stand wherever a frame lies outside the (clamped) limit.
  struct Case {
    FrameRange range;
    std::optional<FrameRange> limit;
    std::vector<float> values;  // channel 0 from the offset on
    int reads;
  };
  const Case cases[] = {
      {{10, 25}, FrameRange(20, 100), expected({{-10, 0}, {20, 25}}), 1},  // 10 frames before the limit
      {{0, 10}, FrameRange(20, 100), std::vector<float>(10, 0.0f), 0},     // wholly before the limit
      {{60, 70}, FrameRange(20, 50), std::vector<float>(10, 0.0f), 0},     // wholly after the limit
      {{-4, 3}, std::nullopt, expected({{-4, 0}, {0, 3}}), 1},             // before the source
      {{95, 105}, std::nullopt, expected({{95, 100}, {-5, 0}}), 1},        // past the source
      {{95, 105}, FrameRange(50, 500), expected({{95, 100}, {-5, 0}}), 1}, // limit clamped to the source
      {{30, 40}, FrameRange(0, 35), expected({{30, 35}, {-5, 0}}), 1},
      {{30, 30}, std::nullopt, {}, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << test.range.lowerBound << "..<" << test.range.upperBound);
    for (int64_t offset : {0, 3}) {
      CountingSource source(2, 100);
      ChannelBuffers buffers(2, 4);
      for (int c = 0; c < 2; ++c) std::fill_n(buffers.channel(c), buffers.capacity(), 7.0f);
      buffers.readZeroPadded(source, test.range, test.limit, offset);
      EXPECT_EQ(source.reads, test.reads);
      EXPECT_GE(buffers.capacity(), offset + test.range.count());
      EXPECT_EQ(samples(buffers, 0, offset, offset + test.range.count()), test.values);
      std::vector<float> second = test.values;
      for (float& v : second) v = v == 0 ? 0 : v + 1000;
      EXPECT_EQ(samples(buffers, 1, offset, offset + test.range.count()), second);
    }
  }
}

TEST(ChannelBuffers, ReadZeroPaddedKeepsSamplesBeforeTheOffset) {
  CountingSource source(1, 100);
  ChannelBuffers buffers(1, 16);
  std::fill_n(buffers.channel(0), 16, 7.0f);
  buffers.readZeroPadded(source, {0, 4}, std::nullopt, 2);
  EXPECT_EQ(samples(buffers, 0, 0, 8), (std::vector<float>{7, 7, 1, 2, 3, 4, 7, 7}));
}

TEST(ChannelBuffersDeathTest, SourceWithMoreChannelsStops) {
  CountingSource source(3, 10);
  ChannelBuffers buffers(2, 10);
  EXPECT_DEATH(buffers.readZeroPadded(source, {0, 5}), "more channels");
}

TEST(DoubleScratch, ReserveOnlyGrowsAndZeroes) {
  DoubleScratch scratch;
  EXPECT_EQ(scratch.capacity(), 0);
  scratch.reserve(8);
  ASSERT_NE(scratch.pointer(), nullptr);
  scratch.pointer()[7] = 3;
  scratch.reserve(4);
  EXPECT_EQ(scratch.capacity(), 8);
  EXPECT_EQ(scratch.pointer()[7], 3.0);
  scratch.reserve(64);
  EXPECT_EQ(scratch.capacity(), 64);
  for (int64_t i = 0; i < 64; ++i) EXPECT_EQ(scratch.pointer()[i], 0.0);
}
