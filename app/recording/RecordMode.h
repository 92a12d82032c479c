// RecordMode: where a take goes in the document: inserted, replacing audio, or appended.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"

enum class RecordMode { insert, replace, append };

inline std::string_view rawValue(RecordMode mode) {
  switch (mode) {
  case RecordMode::insert: return "insert";
  case RecordMode::replace: return "replace";
  case RecordMode::append: return "append";
  }
  return {};
}

template <>
struct quar::EnumCases<RecordMode> {
  static constexpr std::array values{RecordMode::insert, RecordMode::replace, RecordMode::append};
};
