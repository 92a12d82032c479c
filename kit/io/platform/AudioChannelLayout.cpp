#include "io/platform/AudioChannelLayout.h"

#include <algorithm>

namespace quar {

namespace {

struct TagLabels {
  uint32_t layoutNumber;
  std::vector<uint32_t> labels;
};

const std::vector<TagLabels>& tagTable() {
  using L = ChannelLabel;
  constexpr uint32_t l = L::left, r = L::right, c = L::center, lfe = L::lfeScreen, ls = L::leftSurround,
                     rs = L::rightSurround, lc = L::leftCenter, rc = L::rightCenter, cs = L::centerSurround,
                     rls = L::rearSurroundLeft, rrs = L::rearSurroundRight;
  static const std::vector<TagLabels> table{
      {100, {L::mono}},
      {101, {l, r}},
      {103, {L::leftTotal, L::rightTotal}},
      {108, {l, r, ls, rs}},
      {113, {l, r, c}},
      {114, {c, l, r}},
      {115, {l, r, c, cs}},
      {116, {c, l, r, cs}},
      {117, {l, r, c, ls, rs}},
      {118, {l, r, ls, rs, c}},
      {119, {l, c, r, ls, rs}},
      {120, {c, l, r, ls, rs}},
      {121, {l, r, c, lfe, ls, rs}},
      {122, {l, r, ls, rs, c, lfe}},
      {123, {l, c, r, ls, rs, lfe}},
      {124, {c, l, r, ls, rs, lfe}},
      {125, {l, r, c, lfe, ls, rs, cs}},
      {126, {l, r, c, lfe, ls, rs, lc, rc}},
      {127, {c, lc, rc, l, r, ls, rs, lfe}},
      {128, {l, r, c, lfe, ls, rs, rls, rrs}},
      {139, {l, r, ls, rs, c, cs}},
      {140, {l, r, ls, rs, c, rls, rrs}},
      {141, {c, l, r, ls, rs, cs}},
      {142, {c, l, r, ls, rs, cs, lfe}},
      {143, {c, l, r, ls, rs, rls, rrs}},
      {183, {c, l, r, ls, rs, rls, rrs, lfe}},
      {185, {l, r, rls, rrs}},
      {186, {l, r, c, rls, rrs}},
      {187, {l, r, c, lfe, rls, rrs}},
      {188, {l, r, c, lfe, cs, ls, rs}},
      {189, {l, r, c, lfe, rls, rrs, ls, rs}},
  };
  return table;
}

} // namespace

std::optional<std::vector<uint32_t>> labelsOfLayoutTag(uint32_t tag) {
  const uint32_t number = tag >> 16;
  const uint32_t count = tag & 0xFFFF;
  if (number == AudioChannelLayout::discreteInOrder) {
    if (count == 0) return std::nullopt;
    std::vector<uint32_t> labels(count);
    for (uint32_t i = 0; i < count; ++i) labels[i] = ChannelLabel::discrete0 + i;
    return labels;
  }
  for (const auto& entry : tagTable())
    if (entry.layoutNumber == number && entry.labels.size() == count) return entry.labels;
  return std::nullopt;
}

std::optional<std::vector<uint32_t>> labelsOfBitmap(uint32_t bitmap) {
  if (bitmap == 0) return std::nullopt;
  std::vector<uint32_t> labels;
  for (uint32_t bit = 0; bit < 32; ++bit)
    if (bitmap & (1u << bit)) labels.push_back(bit + 1);
  return labels;
}

std::optional<std::vector<uint32_t>> channelLabels(const AudioChannelLayout& layout) {
  if (layout.tag == AudioChannelLayout::useChannelDescriptions) {
    if (layout.labels.empty()) return std::nullopt;
    return layout.labels;
  }
  if (layout.tag == AudioChannelLayout::useChannelBitmap) return labelsOfBitmap(layout.bitmap);
  return labelsOfLayoutTag(layout.tag);
}

std::optional<std::vector<int>> channelPermutation(const std::vector<uint32_t>& from,
                                                   const std::vector<uint32_t>& to) {
  if (from.size() != to.size()) return std::nullopt;
  auto sortedFrom = from;
  auto sortedTo = to;
  std::sort(sortedFrom.begin(), sortedFrom.end());
  std::sort(sortedTo.begin(), sortedTo.end());
  if (sortedFrom != sortedTo) return std::nullopt;
  if (std::adjacent_find(sortedFrom.begin(), sortedFrom.end()) != sortedFrom.end()) return std::nullopt;
  std::vector<int> order;
  order.reserve(to.size());
  for (uint32_t label : to)
    order.push_back(static_cast<int>(std::find(from.begin(), from.end(), label) - from.begin()));
  return order;
}

} // namespace quar
