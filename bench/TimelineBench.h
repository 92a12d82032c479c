// quar-bench timeline: the cost of drawing the editor's waveform views. It builds a stereo
// document of the given length in memory (a few distinct blocks repeated), shows a TimelineView
// on the offscreen platform at the given size and device-pixel ratio, and times full redraws at
// fit zoom (bare, with the grid, markers, a selection, an envelope and loudness curves, and so
// while the envelope changes between drawings) and at one frame per point, playhead ticks (and the redraws they cause, which should be none) and
// the overview's waveform image. GUI thread of its own QApplication.
#pragma once

#include "Commands.h"

namespace quar::bench {

// timeline [--minutes M] [--width W] [--height H] [--ratio R] [--runs N]
Json timelineCommand(const Words& words);

} // namespace quar::bench
