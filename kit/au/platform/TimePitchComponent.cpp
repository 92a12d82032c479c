#include "au/platform/TimePitchComponent.h"

#include "au/platform/TimePitchUnit.h"

namespace quar::timePitch {

PlatformComponent component() { return {description, name, "Quarnel", 0}; }

std::shared_ptr<PlatformUnit> makeUnit() { return std::make_shared<TimePitchUnit>(); }

} // namespace quar::timePitch
