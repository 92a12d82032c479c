// ApplyTarget: what the effects rack panel and the effect panels need of the document whose
// rack they show (the editor model implements it): the rack, the audio and selection the
// effects apply to, the transport state, and Apply. The tracked getters record their reads into
// the innermost ObservationScope; watchChanges lets a tracker hear of their changes. GUI
// thread only; frames at the content's sample rate.
#pragma once

#include <optional>

#include "base/FrameRange.h"
#include "core/AudioContent.h"

class EffectsRack;
class ObservationTracker;

class ApplyTarget {
public:
  // Untracked: the document's rack.
  virtual EffectsRack& rack() = 0;

  // Tracked state.
  virtual const quar::AudioContent& content() const = 0;
  virtual std::optional<quar::FrameRange> selection() const = 0;
  virtual bool isPlaying() const = 0;
  // Whether applyEffects() runs now.
  virtual bool canApplyEffects() const = 0;
  // Makes `tracker` listen to the changes of the tracked state.
  virtual void watchChanges(ObservationTracker& tracker) = 0;

  // Renders the rack's enabled effects into the selection (or the whole content) as one edit.
  virtual void applyEffects() = 0;

protected:
  ~ApplyTarget() = default;
};
