#include "effects/AudioUnitLibrary.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <optional>

#include "au/AudioUnitCatalog.h"
#include "platform/Platform.h"

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
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const Group& g) { return g.manufacturer == descriptor.manufacturerName; });
    if (group == groups.end()) group = groups.insert(groups.end(), Group{descriptor.manufacturerName, {}});
    group->descriptors.push_back(descriptor);
  }
  QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
    return collator.compare(QString::fromStdString(a.manufacturer), QString::fromStdString(b.manufacturer)) < 0;
  });
  return groups;
}

} // namespace AudioUnitLibrary
