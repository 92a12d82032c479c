// The stream description of the native audio file layer (sample rate in Hz, codec, flags,
// packet and frame sizes in bytes and frames) and the named format, flag and container codes
// it uses. Plain values, safe anywhere.
#pragma once

#include <cstdint>

#include "base/FourCharCode.h"

namespace quar {

struct StreamDescription {
  double sampleRate = 0;  // Hz
  uint32_t formatID = 0;
  uint32_t formatFlags = 0;
  uint32_t bytesPerPacket = 0;
  uint32_t framesPerPacket = 0;
  uint32_t bytesPerFrame = 0;
  uint32_t channelsPerFrame = 0;
  uint32_t bitsPerChannel = 0;

  // 32-bit float, packed, one buffer per channel: the client format of every read.
  static StreamDescription floatNonInterleaved(double sampleRate, uint32_t channels);

  bool operator==(const StreamDescription&) const = default;
};

// Codec codes.
struct AudioFormatID {
  static constexpr uint32_t linearPCM = fourCharCode("lpcm");
  static constexpr uint32_t appleLossless = fourCharCode("alac");
  static constexpr uint32_t mpeg4AAC = fourCharCode("aac ");
  static constexpr uint32_t mpeg4AAC_HE = fourCharCode("aach");
  static constexpr uint32_t mpeg4AAC_HE_V2 = fourCharCode("aacp");
  static constexpr uint32_t mpeg4AAC_LD = fourCharCode("aacl");
  static constexpr uint32_t mpeg4AAC_ELD = fourCharCode("aace");
  static constexpr uint32_t flac = fourCharCode("flac");
  static constexpr uint32_t opus = fourCharCode("opus");
  static constexpr uint32_t mpegLayer1 = fourCharCode(".mp1");
  static constexpr uint32_t mpegLayer2 = fourCharCode(".mp2");
  static constexpr uint32_t mpegLayer3 = fourCharCode(".mp3");
  static constexpr uint32_t aLaw = fourCharCode("alaw");
  static constexpr uint32_t uLaw = fourCharCode("ulaw");
  static constexpr uint32_t appleIMA4 = fourCharCode("ima4");
  static constexpr uint32_t microsoftADPCM = 0x6D730002;
  static constexpr uint32_t microsoftIMA = 0x6D730011;
  static constexpr uint32_t microsoftGSM = 0x6D730031;
  static constexpr uint32_t ac3 = fourCharCode("ac-3");
  static constexpr uint32_t enhancedAC3 = fourCharCode("ec-3");
  static constexpr uint32_t amr = fourCharCode("samr");
  static constexpr uint32_t amrWB = fourCharCode("sawb");
};

// Bits of StreamDescription::formatFlags. For Apple Lossless and FLAC the flags instead hold
// the source depth code: 1 = 16, 2 = 20, 3 = 24, 4 = 32 bits.
struct AudioFormatFlags {
  static constexpr uint32_t isFloat = 1;
  static constexpr uint32_t isBigEndian = 2;
  static constexpr uint32_t isSignedInteger = 4;
  static constexpr uint32_t isPacked = 8;
  static constexpr uint32_t isNonInterleaved = 0x20;

  // The source depth code for a bit depth; 0 for depths without a code.
  static constexpr uint32_t sourceDepthCode(int bits) {
    return bits == 16 ? 1 : bits == 20 ? 2 : bits == 24 ? 3 : bits == 32 ? 4 : 0;
  }
};

// Container codes.
struct AudioFileTypeID {
  static constexpr uint32_t wave = fourCharCode("WAVE");
  static constexpr uint32_t rf64 = fourCharCode("RF64");
  static constexpr uint32_t bw64 = fourCharCode("BW64");
  static constexpr uint32_t wave64 = fourCharCode("W64f");
  static constexpr uint32_t caf = fourCharCode("caff");
  static constexpr uint32_t aiff = fourCharCode("AIFF");
  static constexpr uint32_t aifc = fourCharCode("AIFC");
  static constexpr uint32_t flac = fourCharCode("flac");
  static constexpr uint32_t mp1 = fourCharCode("MPG1");
  static constexpr uint32_t mp2 = fourCharCode("MPG2");
  static constexpr uint32_t mp3 = fourCharCode("MPG3");
  static constexpr uint32_t next = fourCharCode("NeXT");
  static constexpr uint32_t m4a = fourCharCode("m4af");
  static constexpr uint32_t m4b = fourCharCode("m4bf");
  static constexpr uint32_t mpeg4 = fourCharCode("mp4f");
  static constexpr uint32_t threeGP = fourCharCode("3gpp");
  static constexpr uint32_t threeGP2 = fourCharCode("3gp2");
  static constexpr uint32_t adts = fourCharCode("adts");
};

inline StreamDescription StreamDescription::floatNonInterleaved(double sampleRate, uint32_t channels) {
  return {sampleRate, AudioFormatID::linearPCM,
          AudioFormatFlags::isFloat | AudioFormatFlags::isPacked | AudioFormatFlags::isNonInterleaved,
          4, 1, 4, channels, 32};
}

} // namespace quar
