// Md5: the MD5 message digest (RFC 1321) of a byte stream fed in pieces, as FLAC stores it for
// its decoded samples. One digest belongs to one thread at a time; it allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quar {

class Md5 {
public:
  using Digest = std::array<uint8_t, 16>;

  Md5();
  void update(std::span<const uint8_t> bytes);
  // The digest of everything fed so far; the object is spent afterwards.
  Digest finish();

private:
  void block(const uint8_t* bytes);

  std::array<uint32_t, 4> state_;
  std::array<uint8_t, 64> pending_{};
  uint64_t length_ = 0;  // bytes fed
};

} // namespace quar
