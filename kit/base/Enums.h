// Shared support for enumerations with raw values: each enum provides a `rawValue(E)` overload
// and an EnumCases<E> specialisation listing its cases in declaration order.
#pragma once

#include <algorithm>
#include <optional>

namespace quar {

template <typename E>
struct EnumCases;

template <typename E>
constexpr const auto& allCases() {
  return EnumCases<E>::values;
}

// The position of a case in allCases order.
template <typename E>
int caseIndex(E value) {
  const auto& cases = allCases<E>();
  return static_cast<int>(std::find(cases.begin(), cases.end(), value) - cases.begin());
}

// The case whose raw value equals `raw`, if any.
template <typename E, typename Raw>
std::optional<E> fromRawValue(const Raw& raw) {
  for (E value : allCases<E>())
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}

} // namespace quar
