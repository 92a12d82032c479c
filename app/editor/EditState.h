// EditState: one complete undo snapshot of the document: its content, selection, active
// channels, cursor (frames), markers and envelopes. Plain value; copying shares the samples.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "base/FrameRange.h"
#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"
#include "editor/Marker.h"

struct EditState {
  quar::AudioContent content;
  std::optional<quar::FrameRange> selection;
  std::set<int> activeChannels;
  int64_t cursor = 0;
  std::vector<Marker> markers;
  quar::EnvelopeSet envelope;
};
