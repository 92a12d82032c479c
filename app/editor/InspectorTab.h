// InspectorTab: the inspector's tabs, in the order they show.
#pragma once

#include <array>

#include "base/Enums.h"

enum class InspectorTab { loudness, spectrum, info, markers, effects };

inline int rawValue(InspectorTab tab) { return static_cast<int>(tab); }

template <>
struct quar::EnumCases<InspectorTab> {
  static constexpr std::array values{InspectorTab::loudness, InspectorTab::spectrum, InspectorTab::info, InspectorTab::markers, InspectorTab::effects};
};
