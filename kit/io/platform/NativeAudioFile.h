// The part shared by the native reader and writer handles: the file's channel layout and the
// client channel layout that the caller's buffers follow. One handle is used by one thread at
// a time.
#pragma once

#include <cstdint>
#include <optional>

#include "io/platform/AudioChannelLayout.h"

namespace quar {

class NativeAudioFile {
public:
  virtual ~NativeAudioFile() = default;

  // The layout stored in (or chosen for) the file; none when the file states none.
  virtual std::optional<AudioChannelLayout> fileChannelLayout() const = 0;
  // Makes client buffers follow `layout`; a status, non-zero when the layout is no
  // permutation of the file's.
  virtual int32_t setClientChannelLayout(const AudioChannelLayout& layout) = 0;
};

} // namespace quar
