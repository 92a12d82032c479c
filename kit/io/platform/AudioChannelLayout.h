// Channel layouts of the native audio file layer: a layout tag (layout number × 65536 +
// channel count), a speaker bitmap, or an explicit list of channel labels; the expansion of
// tags and bitmaps into labels; and the channel permutation between two layouts.
// Pure functions, safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quar {

// Speaker labels. Labels 1 to 18 match the bits of a speaker bitmap (bit n = label n + 1).
struct ChannelLabel {
  static constexpr uint32_t unknown = 0xFFFFFFFF;
  static constexpr uint32_t unused = 0;
  static constexpr uint32_t left = 1;
  static constexpr uint32_t right = 2;
  static constexpr uint32_t center = 3;
  static constexpr uint32_t lfeScreen = 4;
  static constexpr uint32_t leftSurround = 5;
  static constexpr uint32_t rightSurround = 6;
  static constexpr uint32_t leftCenter = 7;
  static constexpr uint32_t rightCenter = 8;
  static constexpr uint32_t centerSurround = 9;
  static constexpr uint32_t leftSurroundDirect = 10;
  static constexpr uint32_t rightSurroundDirect = 11;
  static constexpr uint32_t topCenterSurround = 12;
  static constexpr uint32_t verticalHeightLeft = 13;
  static constexpr uint32_t verticalHeightCenter = 14;
  static constexpr uint32_t verticalHeightRight = 15;
  static constexpr uint32_t topBackLeft = 16;
  static constexpr uint32_t topBackCenter = 17;
  static constexpr uint32_t topBackRight = 18;
  static constexpr uint32_t rearSurroundLeft = 33;
  static constexpr uint32_t rearSurroundRight = 34;
  static constexpr uint32_t leftWide = 35;
  static constexpr uint32_t rightWide = 36;
  static constexpr uint32_t lfe2 = 37;
  static constexpr uint32_t leftTotal = 38;
  static constexpr uint32_t rightTotal = 39;
  static constexpr uint32_t mono = 42;
  static constexpr uint32_t ambisonicW = 200;
  static constexpr uint32_t ambisonicX = 201;
  static constexpr uint32_t ambisonicY = 202;
  static constexpr uint32_t ambisonicZ = 203;
  static constexpr uint32_t discrete0 = 0x10000;  // discrete channel n = discrete0 + n
};

struct AudioChannelLayout {
  static constexpr uint32_t useChannelDescriptions = 0;
  static constexpr uint32_t useChannelBitmap = 0x10000;
  static constexpr uint32_t discreteInOrder = 147;  // layout number; the tag adds the count

  uint32_t tag = useChannelDescriptions;
  uint32_t bitmap = 0;          // used when tag == useChannelBitmap
  std::vector<uint32_t> labels;  // used when tag == useChannelDescriptions

  static constexpr uint32_t makeTag(uint32_t layoutNumber, uint32_t channels) {
    return layoutNumber << 16 | channels;
  }
  static AudioChannelLayout withTag(uint32_t tag) { return {tag, 0, {}}; }
  static AudioChannelLayout withLabels(std::vector<uint32_t> labels) {
    return {useChannelDescriptions, 0, std::move(labels)};
  }

  bool operator==(const AudioChannelLayout&) const = default;
};

// The labels a layout tag stands for; none for tags the layer does not know.
std::optional<std::vector<uint32_t>> labelsOfLayoutTag(uint32_t tag);
// The labels of the set bits of a speaker bitmap, lowest bit first; none for an empty bitmap.
std::optional<std::vector<uint32_t>> labelsOfBitmap(uint32_t bitmap);
// The labels of any layout: its own labels, or the expansion of its bitmap or tag. None when
// a description layout lists no labels or the tag is unknown.
std::optional<std::vector<uint32_t>> channelLabels(const AudioChannelLayout& layout);

// For each channel of `to`, the index of the channel of `from` with the same label. None
// unless both hold the same labels, each once.
std::optional<std::vector<int>> channelPermutation(const std::vector<uint32_t>& from,
                                                   const std::vector<uint32_t>& to);

} // namespace quar
