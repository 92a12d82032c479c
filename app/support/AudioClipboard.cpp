#include "support/AudioClipboard.h"

AudioClipboard& AudioClipboard::shared() {
  static AudioClipboard clipboard;
  return clipboard;
}

void AudioClipboard::store(quar::AudioContent clip) {
  content_ = std::move(clip);
  ++changeCount_;
}
