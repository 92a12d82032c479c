// SoxrConverter: the libsoxr converter every sample-rate conversion uses (offline, streaming
// playback, export): planar 32-bit float in and out, very high quality, one thread. Making one
// allocates; a converter is used by one thread at a time.
#pragma once

#include <memory>

struct soxr;

namespace quar {

struct SoxrDelete {
  void operator()(soxr* converter) const;
};
using SoxrConverter = std::unique_ptr<soxr, SoxrDelete>;

// A converter from `from` Hz to `to` Hz for `channels` channels; null when libsoxr refuses them.
SoxrConverter makeSoxrConverter(double from, double to, int channels);

} // namespace quar
