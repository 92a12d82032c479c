#include "platform/AudioBackend.h"

#include <cstdlib>
#include <cstring>

#include "platform/NullAudioBackend.h"
#include "platform/PortAudioBackend.h"

namespace {

std::unique_ptr<AudioBackend> chooseBackend() {
  const char* choice = std::getenv("QUARNEL_AUDIO");
  if (!choice || std::strcmp(choice, "null") != 0)
    if (auto portAudio = PortAudioBackend::create()) return portAudio;
  return std::make_unique<NullAudioBackend>();
}

} // namespace

AudioBackend& AudioBackend::shared() {
  static const std::unique_ptr<AudioBackend> backend = chooseBackend();
  return *backend;
}

std::optional<AudioDeviceInfo> AudioBackend::outputDevice(std::optional<int> id) {
  if (!id) id = defaultOutputDevice();
  if (!id) return std::nullopt;
  for (AudioDeviceInfo& info : devices())
    if (info.id == *id && info.outputChannels > 0) return std::move(info);
  return std::nullopt;
}
