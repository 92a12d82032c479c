// AudioClipboard: the in-process clipboard of copied audio, one instance shared by every open
// document (the system clipboard is not used). A clip keeps its own channel count and sample
// rate and shares the source's sample blocks. GUI thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "core/AudioContent.h"

class AudioClipboard {
public:
  static AudioClipboard& shared();

  // The last copied audio; none until the first copy.
  const std::optional<quar::AudioContent>& content() const { return content_; }
  // Raised by one on every copy.
  int64_t changeCount() const { return changeCount_; }

  // Stores a copied clip.
  void store(quar::AudioContent clip);

private:
  AudioClipboard() = default;

  std::optional<quar::AudioContent> content_;
  int64_t changeCount_ = 0;
};
