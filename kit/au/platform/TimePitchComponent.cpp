#include "au/platform/TimePitchComponent.h"

#include "au/platform/PlatformError.h"

namespace quar::timePitch {

PlatformComponent component() { return {description, "AUNewTimePitch", "Apple", 0}; }

std::shared_ptr<PlatformUnit> makeUnit() {
  throw PlatformError(auStatus::failedInitialization, "The time-pitch processor isn\u2019t part of this build.");
}

} // namespace quar::timePitch
