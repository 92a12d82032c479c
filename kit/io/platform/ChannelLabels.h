// Channel labels of the layout tags the writers use (tag = layout number x 65536 + channel
// count), with the label codes of the native layout description. Pure data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quar::platform {

namespace channelLabel {
constexpr uint32_t left = 1;
constexpr uint32_t right = 2;
constexpr uint32_t center = 3;
constexpr uint32_t lfeScreen = 4;
constexpr uint32_t leftSurround = 5;
constexpr uint32_t rightSurround = 6;
constexpr uint32_t leftCenter = 7;
constexpr uint32_t rightCenter = 8;
constexpr uint32_t centerSurround = 9;
constexpr uint32_t rearSurroundLeft = 33;
constexpr uint32_t rearSurroundRight = 34;
constexpr uint32_t mono = 42;
} // namespace channelLabel

// The labels of `layoutTag` in channel order; none for a tag this table does not know.
std::optional<std::vector<uint32_t>> channelLabels(uint32_t layoutTag);

} // namespace quar::platform
