// InputDevice: an audio device that can record, as the recorder lists it: the backend's device
// id, a unique identifier that stays the same across runs (host API and name), the name shown
// to the user, its input channel count (>= 1) and its nominal rate in Hz (0 when unknown).
// AudioDevices::inputDevices reads the list from the device layer; GUI thread.
#pragma once

#include <QString>

#include <vector>

class AudioBackend;

struct InputDevice {
  int id = 0;
  QString uid;
  QString name;
  int channelCount = 0;
  double sampleRate = 0;

  bool operator==(const InputDevice&) const = default;
};

namespace AudioDevices {

// The backend's devices with at least one input channel, in the backend's order. A device
// without a name is called "Input <id>", one without a unique identifier gets its id in decimal.
std::vector<InputDevice> inputDevices(AudioBackend& backend);

} // namespace AudioDevices
