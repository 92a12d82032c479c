#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "recording/InputRing.h"

namespace {

// Planar buffers of `frames` frames and their pointers.
struct Planar {
  Planar(int channels, int frames) : data(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames))) {
    for (auto& channel : data) pointers.push_back(channel.data());
  }
  std::vector<std::vector<float>> data;
  std::vector<float*> pointers;
};

} // namespace

TEST(InputRingTest, FramesComeOutInOrderAcrossTheWrap) {
  InputRing ring(2, 5);
  Planar in(2, 4), out(2, 4);
  for (int f = 0; f < 4; ++f) {
    in.data[0][static_cast<size_t>(f)] = static_cast<float>(f);
    in.data[1][static_cast<size_t>(f)] = static_cast<float>(-f);
  }
  EXPECT_EQ(ring.write(in.pointers.data(), 4), 4);
  EXPECT_EQ(ring.read(out.pointers.data(), 3), 3);
  EXPECT_EQ(ring.write(in.pointers.data(), 4), 4);  // wraps
  EXPECT_EQ(ring.available(), 5);
  EXPECT_EQ(ring.read(out.pointers.data(), 4), 4);
  EXPECT_EQ(out.data[0], (std::vector<float>{3, 0, 1, 2}));
  EXPECT_EQ(out.data[1], (std::vector<float>{-3, 0, -1, -2}));
  EXPECT_EQ(ring.dropped(), 0);
  EXPECT_EQ(ring.written(), 8);
  EXPECT_EQ(ring.consumed(), 7);
}

TEST(InputRingTest, AFullRingKeepsWhatFitsAndCountsTheRest) {
  InputRing ring(1, 6);
  Planar in(1, 4), out(1, 6);
  EXPECT_EQ(ring.write(in.pointers.data(), 4), 4);
  EXPECT_EQ(ring.write(in.pointers.data(), 4), 2);
  EXPECT_EQ(ring.dropped(), 2);
  EXPECT_EQ(ring.write(in.pointers.data(), 4), 0);
  EXPECT_EQ(ring.dropped(), 6);
  ring.skip(100);
  EXPECT_EQ(ring.available(), 0);
  EXPECT_EQ(ring.read(out.pointers.data(), 6), 0);
}

// One producer and one consumer thread: every frame arrives once, in order.
TEST(InputRingTest, AProducerAndAConsumerThreadShareIt) {
  constexpr int total = 200000, block = 97;
  InputRing ring(2, 1024);
  std::thread producer([&] {
    Planar in(2, block);
    int next = 0;
    while (next < total) {
      const int frames = std::min(block, total - next);
      for (int f = 0; f < frames; ++f) {
        in.data[0][static_cast<size_t>(f)] = static_cast<float>(next + f);
        in.data[1][static_cast<size_t>(f)] = static_cast<float>(-(next + f));
      }
      const int before = static_cast<int>(ring.dropped());
      const int written = ring.write(in.pointers.data(), frames);
      EXPECT_EQ(ring.dropped() - before, frames - written);
      if (written < frames) {
        // Put the dropped tail back in front of the next block.
        next += written;
        std::this_thread::yield();
        continue;
      }
      next += frames;
    }
  });
  Planar out(2, 256);
  int expected = 0;
  bool ordered = true;
  while (expected < total) {
    const int frames = ring.read(out.pointers.data(), 256);
    for (int f = 0; f < frames; ++f, ++expected)
      ordered = ordered && out.data[0][static_cast<size_t>(f)] == static_cast<float>(expected) &&
                out.data[1][static_cast<size_t>(f)] == static_cast<float>(-expected);
    if (frames == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(ring.consumed(), total);
}
