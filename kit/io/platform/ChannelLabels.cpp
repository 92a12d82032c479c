#include "io/platform/ChannelLabels.h"

#include <array>

namespace quar::platform {

std::optional<std::vector<uint32_t>> channelLabels(uint32_t layoutTag) {
  using namespace channelLabel;
  struct Entry {
    uint32_t layout;
    std::vector<uint32_t> labels;
  };
  static const std::array<Entry, 15> table{{
      {100, {mono}},
      {101, {left, right}},
      {113, {left, right, center}},
      {114, {center, left, right}},
      {108, {left, right, leftSurround, rightSurround}},
      {116, {center, left, right, centerSurround}},
      {117, {left, right, center, leftSurround, rightSurround}},
      {120, {center, left, right, leftSurround, rightSurround}},
      {121, {left, right, center, lfeScreen, leftSurround, rightSurround}},
      {124, {center, left, right, leftSurround, rightSurround, lfeScreen}},
      {188, {left, right, center, lfeScreen, centerSurround, leftSurround, rightSurround}},
      {142, {center, left, right, leftSurround, rightSurround, centerSurround, lfeScreen}},
      {189, {left, right, center, lfeScreen, rearSurroundLeft, rearSurroundRight, leftSurround, rightSurround}},
      {127, {center, leftCenter, rightCenter, left, right, leftSurround, rightSurround, lfeScreen}},
      {183, {center, left, right, leftSurround, rightSurround, rearSurroundLeft, rearSurroundRight, lfeScreen}},
  }};
  for (const Entry& entry : table)
    if (entry.layout << 16 == (layoutTag & 0xFFFF0000u) && entry.labels.size() == (layoutTag & 0xFFFFu))
      return entry.labels;
  return std::nullopt;
}

} // namespace quar::platform
