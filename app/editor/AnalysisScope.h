// AnalysisScope: what the loudness and spectrum analyses measure: the whole file or the selection.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

enum class AnalysisScope { file, selection };

inline std::string_view rawValue(AnalysisScope scope) { return scope == AnalysisScope::file ? "file" : "selection"; }

template <>
struct quar::EnumCases<AnalysisScope> {
  static constexpr std::array values{AnalysisScope::file, AnalysisScope::selection};
};
