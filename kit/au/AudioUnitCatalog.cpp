#include "au/AudioUnitCatalog.h"

#include <algorithm>
#include <unordered_set>

#include "au/platform/ComponentManager.h"

namespace quar {

namespace {

// <0, 0 or >0; letters compare without case (ASCII folding; other bytes by value).
int compareCaseInsensitive(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return u >= 'A' && u <= 'Z' ? u + 32 : u;
    };
    const int x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

const std::set<uint32_t>& AudioUnitCatalog::excludedAppleSubTypes() {
  static const std::set<uint32_t> subTypes{AudioUnitDescriptor::fourCC("nsnd")};
  return subTypes;
}

std::vector<AudioUnitDescriptor> AudioUnitCatalog::availableEffects() {
  std::vector<AudioUnitDescriptor> result;
  std::unordered_set<std::string> seen;
  for (uint32_t type : {componentType::effect, componentType::musicEffect}) {
    for (const auto& component : ComponentManager::components({type, 0, 0, 0, 0})) {
      const auto& d = component.description;
      if (d.componentManufacturer == appleManufacturer && excludedAppleSubTypes().contains(d.componentSubType))
        continue;
      AudioUnitDescriptor descriptor(d.componentType, d.componentSubType, d.componentManufacturer, component.name,
                                     component.manufacturerName, component.version,
                                     d.componentManufacturer == appleManufacturer);
      if (!seen.insert(descriptor.id()).second) continue;
      result.push_back(std::move(descriptor));
    }
  }
  std::stable_sort(result.begin(), result.end(), [](const AudioUnitDescriptor& a, const AudioUnitDescriptor& b) {
    const int byMaker = compareCaseInsensitive(a.manufacturerName, b.manufacturerName);
    if (byMaker != 0) return byMaker < 0;
    return compareCaseInsensitive(a.name, b.name) < 0;
  });
  return result;
}

std::optional<bool> AudioUnitCatalog::isV3(const AudioUnitDescriptor& descriptor) {
  const auto component = ComponentManager::findNext(descriptor.componentDescription());
  if (!component) return std::nullopt;
  return (component->description.componentFlags & componentFlagIsV3) != 0;
}

} // namespace quar
