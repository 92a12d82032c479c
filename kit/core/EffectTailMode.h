// EffectTailMode: what applying an effect chain to a range does with the chain's ring-out
// after the range: mix it over the following audio (lengthening the content when it runs past
// the end) or drop it. Raw values are the persisted strings.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

namespace quar {

enum class EffectTailMode { mixIntoFollowing, truncate };

template <>
struct EnumCases<EffectTailMode> {
  static constexpr std::array values{EffectTailMode::mixIntoFollowing, EffectTailMode::truncate};
};

constexpr std::string_view rawValue(EffectTailMode mode) {
  switch (mode) {
    case EffectTailMode::mixIntoFollowing: return "mixIntoFollowing";
    case EffectTailMode::truncate: return "truncate";
  }
  return {};
}

} // namespace quar
