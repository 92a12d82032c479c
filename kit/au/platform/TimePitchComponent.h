// The time-pitch unit's component: type 'aufc', subtype 'nutp', manufacturer 'appl', named
// "Quarnel Time-Pitch", served by TimePitchUnit and built into ComponentManager.
#pragma once

#include <memory>

#include "au/platform/ComponentManager.h"

namespace quar::timePitch {

inline constexpr AudioComponentDescription description{componentType::formatConverter, fourCharCode("nutp"),
                                                       appleManufacturer, 0, 0};
inline constexpr const char* name = "Quarnel Time-Pitch";

PlatformComponent component();
// A new time-pitch unit; throws PlatformError when it cannot be made.
std::shared_ptr<PlatformUnit> makeUnit();

} // namespace quar::timePitch
