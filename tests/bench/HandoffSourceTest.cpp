#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <thread>

#include "HandoffSource.h"

using namespace quar;
using namespace quar::bench;

namespace {

// Stereo ramps: channel c holds frame * 2 + c.
std::vector<std::vector<float>> ramps(int64_t frames) {
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < channels[c].size(); ++i) channels[c][i] = static_cast<float>(i * 2 + c);
  return channels;
}

// Hands `audio` over in chunks of the given lengths, cycling through them.
void handInChunks(HandoffSource& source, const std::vector<std::vector<float>>& audio,
                  const std::vector<size_t>& lengths) {
  size_t at = 0;
  for (size_t k = 0; at < audio[0].size(); ++k) {
    const size_t n = std::min(lengths[k % lengths.size()], audio[0].size() - at);
    const std::span<const float> views[] = {{audio[0].data() + at, n}, {audio[1].data() + at, n}};
    source.hand(views);
    at += n;
  }
}

} // namespace

TEST(HandoffSource, ReadsGiveEveryHandedFrameInOrderWhateverTheChunkSizes) {
  constexpr int64_t frames = 10007;
  const auto audio = ramps(frames);
  for (const int64_t readSize : {int64_t{1}, int64_t{999}, int64_t{4096}, frames}) {
    SCOPED_TRACE(readSize);
    HandoffSource source(2, 48000, frames);
    std::thread producer([&] { handInChunks(source, audio, {4096, 1, 333}); });
    std::vector<std::vector<float>> read(2);
    source.forEachChunk(std::nullopt, readSize, [&](ChannelViews chunk, int64_t) {
      for (size_t c = 0; c < 2; ++c) read[c].insert(read[c].end(), chunk[c].begin(), chunk[c].end());
    });
    producer.join();
    EXPECT_EQ(read, audio);
  }
}

TEST(HandoffSource, AFailedProducerEndsTheReadAndAStoppedReaderEndsTheProducer) {
  const auto audio = ramps(8192);
  {
    HandoffSource source(2, 48000, 8192);
    std::thread producer([&] {
      handInChunks(source, {{audio[0].begin(), audio[0].begin() + 100}, {audio[1].begin(), audio[1].begin() + 100}},
                   {100});
      source.fail(std::make_exception_ptr(std::runtime_error("render failed")));
    });
    std::vector<float> left(8192), right(8192);
    float* const into[] = {left.data(), right.data()};
    EXPECT_THROW(
        try { source.read({0, 8192}, into); } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "render failed");
          throw;
        },
        std::runtime_error);
    producer.join();
    EXPECT_EQ(left[99], audio[0][99]);
  }
  {
    HandoffSource source(2, 48000, 8192);
    bool stopped = false;
    std::thread producer([&] {
      try {
        handInChunks(source, audio, {4096});
      } catch (const std::runtime_error&) {
        stopped = true;
      }
    });
    std::vector<float> left(10), right(10);
    float* const into[] = {left.data(), right.data()};
    source.read({0, 10}, into);
    source.close();
    producer.join();
    EXPECT_TRUE(stopped);
  }
}
