// A 128-bit universally unique identifier (random, version 4). Text form is upper-case
// 8-4-4-4-12 hex; parsing accepts either case. random() may be called from any thread but
// takes a lock, so it is not for the audio thread; the rest are plain value operations.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quar {

class Uuid {
public:
  // The nil identifier (all zero bytes).
  constexpr Uuid() = default;
  explicit constexpr Uuid(std::array<uint8_t, 16> bytes) : bytes_(bytes) {}

  // A fresh random identifier.
  static Uuid random();
  // Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in any case.
  static std::optional<Uuid> fromString(std::string_view text);

  std::string uuidString() const;
  const std::array<uint8_t, 16>& bytes() const { return bytes_; }

  auto operator<=>(const Uuid&) const = default;

private:
  std::array<uint8_t, 16> bytes_{};
};

} // namespace quar

template <>
struct std::hash<quar::Uuid> {
  size_t operator()(const quar::Uuid& id) const noexcept;
};
