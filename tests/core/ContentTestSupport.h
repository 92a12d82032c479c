// Fixtures shared by the content tests: deterministic noise, blocks and contents over it.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "core/AudioContent.h"

namespace quar::testing {

inline std::vector<float> noise(size_t frames, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<float> v(frames);
  for (auto& x : v) x = dist(engine);
  return v;
}

inline std::vector<std::vector<float>> noiseChannels(int channels, size_t frames, unsigned seed) {
  std::vector<std::vector<float>> result;
  for (int c = 0; c < channels; ++c) result.push_back(noise(frames, seed * 31 + static_cast<unsigned>(c)));
  return result;
}

inline BlockRef noiseBlock(int channels, size_t frames, unsigned seed) {
  return AudioBlock::make(noiseChannels(channels, frames, seed));
}

// A block's samples as one array per channel.
inline std::vector<std::vector<float>> blockChannels(const AudioBlock& block) {
  std::vector<std::vector<float>> channels;
  for (int c = 0; c < block.channelCount(); ++c)
    channels.emplace_back(block.channel(c), block.channel(c) + block.frameCount());
  return channels;
}

inline std::vector<std::vector<float>> allFrames(const AudioContent& content) {
  return content.readChannels(content.fullRange());
}

inline std::set<const AudioBlock*> blocksOf(const AudioContent& content) {
  std::set<const AudioBlock*> blocks;
  for (const auto& segment : content.segments()) blocks.insert(segment.block.get());
  return blocks;
}

inline std::vector<int64_t> segmentCounts(const AudioContent& content) {
  std::vector<int64_t> counts;
  for (const auto& segment : content.segments()) counts.push_back(segment.count);
  return counts;
}

// Every array of the two summaries equal.
inline void expectSameSummary(const QuarSummary& a, const QuarSummary& b) {
  EXPECT_EQ(a.mins, b.mins);
  EXPECT_EQ(a.maxs, b.maxs);
  EXPECT_EQ(a.sumSquares, b.sumSquares);
  EXPECT_EQ(a.groupMins, b.groupMins);
  EXPECT_EQ(a.groupMaxs, b.groupMaxs);
  EXPECT_EQ(a.groupSumSquares, b.groupSumSquares);
  EXPECT_EQ(a.blockMin, b.blockMin);
  EXPECT_EQ(a.blockMax, b.blockMax);
  EXPECT_EQ(a.blockSumSquares, b.blockSumSquares);
}

} // namespace quar::testing
