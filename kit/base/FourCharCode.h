// Four-character codes of the audio file and plug-in layers: the big-endian packing of four ASCII
// bytes into 32 bits ("lpcm" -> 0x6C70636D, "aufx" -> 0x61756678). Constant expressions, safe
// anywhere.
#pragma once

#include <cstdint>

namespace quar {

constexpr uint32_t fourCharCode(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

} // namespace quar
