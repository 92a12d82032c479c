#include <gtest/gtest.h>

#include <cmath>

#include "base/AudioSource.h"
#include "base/Decibels.h"

using namespace quar;

namespace {

// A source that counts its reads and reports any rate.
class CountingSource final : public AudioSource {
public:
  CountingSource(int channels, int64_t frames, double rate = 48000) : channels_(channels), frames_(frames), rate_(rate) {}
  int channelCount() const override { return channels_; }
  double sampleRate() const override { return rate_; }
  int64_t frameCount() const override { return frames_; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    ++reads;
    for (int c = 0; c < channels_; ++c)
      for (int64_t f = range.lowerBound; f < range.upperBound; ++f)
        destinations[static_cast<size_t>(c)][f - range.lowerBound] = static_cast<float>(f + 1000 * c);
  }
  mutable int reads = 0;

private:
  int channels_;
  int64_t frames_;
  double rate_;
};

std::vector<std::pair<int64_t, int64_t>> chunks(const AudioSource& source, std::optional<FrameRange> range, int64_t size) {
  std::vector<std::pair<int64_t, int64_t>> calls;
  source.forEachChunk(range, size, [&](ChannelViews chunk, int64_t start) {
    for (const auto& channel : chunk) EXPECT_EQ(channel.size(), chunk[0].size());
    for (size_t f = 0; f < chunk[0].size(); ++f) EXPECT_EQ(chunk[0][f], static_cast<float>(start + static_cast<int64_t>(f)));
    calls.emplace_back(static_cast<int64_t>(chunk[0].size()), start);
  });
  return calls;
}

} // namespace

TEST(AudioSource, ForEachChunkSplitsFromTheRangeStart) {
  CountingSource source(2, 100);
  using Calls = std::vector<std::pair<int64_t, int64_t>>;
  EXPECT_EQ(chunks(source, FrameRange(20, 30), 4), (Calls{{4, 20}, {4, 24}, {2, 28}}));
  EXPECT_EQ(chunks(source, FrameRange(0, 3), 0), (Calls{{1, 0}, {1, 1}, {1, 2}}));
  EXPECT_EQ(chunks(source, FrameRange(0, 3), -5), (Calls{{1, 0}, {1, 1}, {1, 2}}));
  EXPECT_EQ(chunks(source, FrameRange(90, 100), 1000), (Calls{{10, 90}}));
  EXPECT_TRUE(chunks(source, FrameRange(5, 5), 4).empty());
  EXPECT_TRUE(chunks(CountingSource(0, 100), std::nullopt, 4).empty());
  EXPECT_EQ(chunks(CountingSource(1, 5), std::nullopt, 2), (Calls{{2, 0}, {2, 2}, {1, 4}}));
}

TEST(AudioSource, ForEachChunkPassesCallbackFailuresOn) {
  CountingSource source(1, 100);
  int calls = 0;
  EXPECT_THROW(source.forEachChunk(std::nullopt, 10,
                                   [&](ChannelViews, int64_t) {
                                     if (++calls == 2) throw std::runtime_error("stop");
                                   }),
               std::runtime_error);
  EXPECT_EQ(calls, 2);
}

TEST(AudioSource, ReadChannelsAndDuration) {
  CountingSource source(2, 50);
  auto channels = source.readChannels({10, 13});
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[1], (std::vector<float>{1010, 1011, 1012}));
  auto empty = source.readChannels({7, 7});
  EXPECT_EQ(empty.size(), 2u);
  EXPECT_TRUE(empty[0].empty());
  EXPECT_EQ(source.reads, 1);
  EXPECT_DOUBLE_EQ(source.duration(), 50.0 / 48000);
  EXPECT_EQ(CountingSource(1, 10, 0).duration(), 0);
  EXPECT_EQ(source.fullRange(), FrameRange(0, 50));
}

TEST(ArraySource, ReadsOnlyDestinationsThatAreChannels) {
  ArraySource source({{1, 2, 3}, {4, 5, 6}}, 44100);
  EXPECT_EQ(source.channelCount(), 2);
  EXPECT_EQ(source.frameCount(), 3);
  float a[2], b[2], c[2] = {-9, -9};
  float* destinations[] = {a, b, c};
  source.read({1, 3}, destinations);
  EXPECT_EQ(a[0], 2);
  EXPECT_EQ(b[1], 6);
  EXPECT_EQ(c[0], -9);
  float* one[] = {a};
  source.read({0, 1}, one);
  EXPECT_EQ(a[0], 1);
}

TEST(ArraySourceDeathTest, RefusesMalformedChannels) {
  EXPECT_DEATH(ArraySource({}, 44100), "precondition failed");
  EXPECT_DEATH(ArraySource({{1, 2}, {1}}, 44100), "precondition failed");
  EXPECT_DEATH(FrameRange(3, 2), "precondition failed");
}

TEST(Decibels, ConversionsAndFloor) {
  for (double x : {0.0, -1.0, 1e-9, std::nan("")}) EXPECT_EQ(Decibels::fromLinear(x), -144.0) << x;
  EXPECT_EQ(Decibels::fromLinear(1), 0);
  EXPECT_NEAR(Decibels::fromPower(0.5), -3.0103, 1e-4);
  EXPECT_EQ(Decibels::fromPower(0), -144.0);
  EXPECT_EQ(Decibels::fromPower(std::nan("")), -144.0);
  EXPECT_NEAR(Decibels::toLinear(-144), 6.31e-8, 1e-10);
  EXPECT_NEAR(Decibels::toLinear(-6), 0.501187, 1e-6);
}

TEST(FrameRange, ClampingAndContainment) {
  EXPECT_EQ(FrameRange(10, 5000000).clamped({0, 1000}), FrameRange(10, 1000));
  EXPECT_EQ(FrameRange(-100, 100).clamped({0, 50}), FrameRange(0, 50));
  EXPECT_TRUE(FrameRange(2000, 3000).clamped({0, 1000}).isEmpty());
  EXPECT_TRUE(FrameRange(0, 10).contains(FrameRange(10, 10)));
  EXPECT_FALSE(FrameRange(0, 10).overlaps(FrameRange(10, 20)));
}
