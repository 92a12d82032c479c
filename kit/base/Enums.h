// Shared support for enumerations with raw values: each enum provides a `rawValue(E)` overload
// and an EnumCases<E> specialisation listing its cases in declaration order.
#pragma once

#include <optional>

namespace quar {

template <typename E>
struct EnumCases;

template <typename E>
constexpr const auto& allCases() {
  return EnumCases<E>::values;
}

// The case whose raw value equals `raw`, if any.
template <typename E, typename Raw>
std::optional<E> fromRawValue(const Raw& raw) {
  for (E value : allCases<E>())
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}

} // namespace quar
