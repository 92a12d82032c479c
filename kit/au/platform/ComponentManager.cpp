#include "au/platform/ComponentManager.h"

#include <mutex>

#include "au/platform/Lv2Plugins.h"
#include "au/platform/PlatformError.h"
#include "au/platform/TimePitchComponent.h"

namespace quar {

namespace {

struct Registered {
  int64_t token;
  PlatformComponent component;
  ComponentManager::Factory factory;
};

struct Registry {
  std::mutex mutex;
  std::vector<Registered> entries;
  int64_t nextToken = 1;
};

Registry& registry() {
  static Registry shared;
  return shared;
}

bool codeMatches(uint32_t query, uint32_t value) { return query == 0 || query == value; }

bool matches(const AudioComponentDescription& query, const AudioComponentDescription& d) {
  return codeMatches(query.componentType, d.componentType) &&
         codeMatches(query.componentSubType, d.componentSubType) &&
         codeMatches(query.componentManufacturer, d.componentManufacturer) &&
         (d.componentFlags & query.componentFlagsMask) == (query.componentFlags & query.componentFlagsMask);
}

} // namespace

std::vector<PlatformComponent> ComponentManager::components(const AudioComponentDescription& matching) {
  std::vector<PlatformComponent> result;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& entry : r.entries)
      if (matches(matching, entry.component.description)) result.push_back(entry.component);
  }
  if (matches(matching, timePitch::description)) result.push_back(timePitch::component());
  for (auto& component : lv2::components())
    if (matches(matching, component.description)) result.push_back(std::move(component));
  return result;
}

std::optional<PlatformComponent> ComponentManager::findNext(const AudioComponentDescription& matching) {
  auto found = components(matching);
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::shared_ptr<PlatformUnit> ComponentManager::instantiate(const AudioComponentDescription& description,
                                                            InstantiationOptions options) {
  Factory factory;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& entry : r.entries)
      if (matches(description, entry.component.description)) {
        factory = entry.factory;
        break;
      }
  }
  if (factory) return factory(options);
  if (matches(description, timePitch::description)) return timePitch::makeUnit();
  if (auto unit = lv2::instantiate(description)) return unit;
  throw PlatformError(auStatus::componentNotFound, "The LV2 plug-in isn\u2019t installed.");
}

int64_t ComponentManager::registerComponent(PlatformComponent component, Factory factory) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int64_t token = r.nextToken++;
  r.entries.push_back({token, std::move(component), std::move(factory)});
  return token;
}

void ComponentManager::unregisterComponent(int64_t token) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.entries, [token](const Registered& e) { return e.token == token; });
}

} // namespace quar
