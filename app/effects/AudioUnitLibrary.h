// AudioUnitLibrary: the installed LV2 plug-in effects for the menus that add them (the effects
// rack's Add Effect menu and the main menu), grouped by maker. The plug-in catalog is queried
// once per run, on first use; its answer (an empty one too) is kept until the program quits.
// GUI thread only.
#pragma once

#include <QString>

#include <utility>
#include <vector>

#include "au/AudioUnitDescriptor.h"

namespace AudioUnitLibrary {

using Group = std::pair<QString, std::vector<quar::AudioUnitDescriptor>>;

// The cached plug-ins grouped by exact maker name, groups in localized standard order of their
// names, each group's plug-ins in catalog order.
std::vector<Group> byManufacturer();

// The grouping of byManufacturer over any list of plug-ins.
std::vector<Group> grouped(const std::vector<quar::AudioUnitDescriptor>& descriptors);

} // namespace AudioUnitLibrary
