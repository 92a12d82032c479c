// LoudnessAdjustMode: how the loudness adjustment sets its gain: to a delivery target or by hand.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

enum class LoudnessAdjustMode { target, manual };

inline std::string_view rawValue(LoudnessAdjustMode mode) { return mode == LoudnessAdjustMode::target ? "target" : "manual"; }

template <>
struct quar::EnumCases<LoudnessAdjustMode> {
  static constexpr std::array values{LoudnessAdjustMode::target, LoudnessAdjustMode::manual};
};
