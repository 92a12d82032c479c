// AudioUnitLibrary: the installed LV2 plug-in effects, listed by the catalog once per run (the
// first time they are needed, and kept even when none were found), grouped by manufacturer
// for the menus that offer them. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "au/AudioUnitDescriptor.h"

namespace AudioUnitLibrary {

// One manufacturer's effects, in the catalog's order.
struct Group {
  std::string manufacturer;
  std::vector<quar::AudioUnitDescriptor> descriptors;
};

// The installed effects as the catalog listed them at the first call of the run.
const std::vector<quar::AudioUnitDescriptor>& cached();
// grouped(cached()).
std::vector<Group> byManufacturer();
// The descriptors grouped by manufacturer name (exact text: names differing in case make two
// groups), the groups in localized standard order of their names (case-insensitive, runs of
// digits by their value).
std::vector<Group> grouped(const std::vector<quar::AudioUnitDescriptor>& descriptors);

} // namespace AudioUnitLibrary
