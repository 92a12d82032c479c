#include "effects/EffectsRack.h"

#include "platform/Observable.h"

void EffectsRack::setProcessMask(std::vector<bool> mask) { assignObserved(this, processMask_, std::move(mask), Property::processMask); }

// The live preview is built by the rack's preview runtime; this is its entry point.
void EffectsRack::activate(const std::shared_ptr<RenderState>&, double, int) {}
