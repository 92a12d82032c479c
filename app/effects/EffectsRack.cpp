#include "effects/EffectsRack.h"

#include "platform/Observable.h"

void EffectsRack::setProcessMask(std::vector<bool> mask) { assignObserved(this, processMask_, std::move(mask), Property::processMask); }
