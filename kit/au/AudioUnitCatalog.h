// AudioUnitCatalog: the installed plug-in effects as descriptors (types 'aufx' then 'aumf'),
// without the platform's excluded built-in units, de-duplicated by id and sorted by
// manufacturer name, then name, as the user's locale collates them and without case. Runs on
// the caller's thread; no caching.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "au/AudioUnitDescriptor.h"

namespace quar {

struct AudioUnitCatalog {
  // Subtypes of the platform vendor's units that are never listed ('nsnd').
  static const std::set<uint32_t>& excludedAppleSubTypes();
  static std::vector<AudioUnitDescriptor> availableEffects();
  // None when no installed component matches; else whether it is a version-3 unit.
  static std::optional<bool> isV3(const AudioUnitDescriptor& descriptor);
};

} // namespace quar
