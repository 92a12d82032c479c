#include "effects/AudioUnitLibrary.h"

#include <algorithm>
#include <optional>

#include "au/AudioUnitCatalog.h"
#include "support/LocalizedStandard.h"

namespace AudioUnitLibrary {

std::vector<Group> byManufacturer() {
  static std::optional<std::vector<quar::AudioUnitDescriptor>> cached;
  if (!cached) cached = quar::AudioUnitCatalog::availableEffects();
  return grouped(*cached);
}

std::vector<Group> grouped(const std::vector<quar::AudioUnitDescriptor>& descriptors) {
  std::vector<Group> groups;
  for (const quar::AudioUnitDescriptor& descriptor : descriptors) {
    const QString maker = QString::fromStdString(descriptor.manufacturerName);
    auto group = std::ranges::find(groups, maker, &Group::first);
    if (group == groups.end()) group = groups.insert(groups.end(), {maker, {}});
    group->second.push_back(descriptor);
  }
  std::ranges::stable_sort(groups, [](const Group& a, const Group& b) {
    return localizedStandardCompare(a.first, b.first) < 0;
  });
  return groups;
}

} // namespace AudioUnitLibrary
