#include "effects/AudioUnitLibrary.h"

#include <QString>

#include <algorithm>
#include <optional>

#include "au/AudioUnitCatalog.h"
#include "platform/Platform.h"
#include "support/LocalizedStandard.h"

namespace AudioUnitLibrary {

const std::vector<quar::AudioUnitDescriptor>& cached() {
  Platform::assertGuiThread();
  static std::optional<std::vector<quar::AudioUnitDescriptor>> list;
  if (!list) list = quar::AudioUnitCatalog::availableEffects();
  return *list;
}

std::vector<Group> byManufacturer() { return grouped(cached()); }

std::vector<Group> grouped(const std::vector<quar::AudioUnitDescriptor>& descriptors) {
  std::vector<Group> groups;
  for (const quar::AudioUnitDescriptor& descriptor : descriptors) {
    auto group = std::ranges::find(groups, descriptor.manufacturerName, &Group::manufacturer);
    if (group == groups.end()) group = groups.insert(groups.end(), Group{descriptor.manufacturerName, {}});
    group->descriptors.push_back(descriptor);
  }
  std::ranges::stable_sort(groups, [](const Group& a, const Group& b) {
    return localizedStandardCompare(QString::fromStdString(a.manufacturer), QString::fromStdString(b.manufacturer)) < 0;
  });
  return groups;
}

} // namespace AudioUnitLibrary
