#include "recording/InputDevice.h"

#include "platform/AudioBackend.h"

namespace AudioDevices {

std::vector<InputDevice> inputDevices(AudioBackend& backend) {
  std::vector<InputDevice> list;
  for (const AudioDeviceInfo& info : backend.devices()) {
    if (info.inputChannels < 1) continue;
    const QString id = QString::number(info.id);
    const QString uid = QString::fromStdString(info.uid);
    const QString name = QString::fromStdString(info.name);
    list.push_back({info.id, uid.isEmpty() ? id : uid, name.isEmpty() ? QStringLiteral("Input ") + id : name,
                    info.inputChannels, info.defaultSampleRate > 0 ? info.defaultSampleRate : 0});
  }
  return list;
}

} // namespace AudioDevices
