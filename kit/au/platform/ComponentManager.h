// ComponentManager: finds and makes plug-in units: the components registered at run time (fake
// units in tests) first, then the built-in time-pitch unit, then the installed LV2 plug-ins.
// Safe to call from any thread; instantiate() may take a while.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "au/platform/AudioTypes.h"
#include "au/platform/PlatformUnit.h"

namespace quar {

// One installed component: its description (flags included), names and packed version.
struct PlatformComponent {
  AudioComponentDescription description;
  std::string name;
  std::string manufacturerName;
  uint32_t version = 0;

  bool operator==(const PlatformComponent&) const = default;
};

class ComponentManager {
public:
  // Makes a unit; throws PlatformError when it cannot.
  using Factory = std::function<std::shared_ptr<PlatformUnit>(InstantiationOptions)>;

  // The components whose codes match the query (zero fields match anything) and whose flags
  // agree under the query's mask.
  static std::vector<PlatformComponent> components(const AudioComponentDescription& matching);
  // The first matching component, if any.
  static std::optional<PlatformComponent> findNext(const AudioComponentDescription& matching);
  // A new unit of the first component matching the description; throws PlatformError when none
  // matches or the component fails to load.
  static std::shared_ptr<PlatformUnit> instantiate(const AudioComponentDescription& description,
                                                   InstantiationOptions options = InstantiationOptions::none);

  // Adds a component served by `factory`; returns a token for unregisterComponent.
  static int64_t registerComponent(PlatformComponent component, Factory factory);
  static void unregisterComponent(int64_t token);
};

} // namespace quar
