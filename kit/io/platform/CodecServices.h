// Codec queries of the native audio file layer: the encoders present, the sample rates an
// encoder accepts and the completion of a compressed stream description. Safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "io/platform/StreamDescription.h"

namespace quar {

struct CodecServices {
  // The discrete sample rates (Hz, ascending, distinct) the encoder of `formatID` accepts;
  // none when it takes any rate or the layer has no encoder for it.
  static std::optional<std::vector<double>> encodeSampleRates(uint32_t formatID);
  // Whether the layer has an encoder for `formatID` ('flac', 'alac', 'aac ', 'opus').
  static bool hasEncoder(uint32_t formatID);
  // Fills the packet fields of a compressed description whose sample rate, format code,
  // flags and channel count are set; a status, unsupportedFormat for unknown codecs.
  static int32_t completeCompressedFormat(StreamDescription& format);
};

} // namespace quar
