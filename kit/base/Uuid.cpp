#include "base/Uuid.h"

#include <mutex>
#include <random>

namespace quar {

Uuid Uuid::random() {
  static std::mutex mutex;
  static std::mt19937_64 engine{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  std::array<uint8_t, 16> bytes;
  {
    std::lock_guard lock(mutex);
    const uint64_t high = engine(), low = engine();
    for (int i = 0; i < 8; ++i) {
      bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(high >> (56 - 8 * i));
      bytes[static_cast<size_t>(8 + i)] = static_cast<uint8_t>(low >> (56 - 8 * i));
    }
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return Uuid(bytes);
}

std::optional<Uuid> Uuid::fromString(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::array<uint8_t, 16> bytes{};
  size_t byte = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[byte++] = static_cast<uint8_t>(hi << 4 | lo);
    i += 2;
  }
  return Uuid(bytes);
}

std::string Uuid::uuidString() const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += digits[bytes_[i] >> 4];
    text += digits[bytes_[i] & 0x0F];
  }
  return text;
}

} // namespace quar

size_t std::hash<quar::Uuid>::operator()(const quar::Uuid& id) const noexcept {
  size_t h = 1469598103934665603ull;
  for (uint8_t b : id.bytes()) h = (h ^ b) * 1099511628211ull;
  return h;
}
