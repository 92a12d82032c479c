// The editor's document benchmarks of quar-bench, on the offscreen platform with private settings:
// opening a file the way the editor does (its phases up to the first waveform draw and the
// analyses, peak memory, and memory after closing it, next to the kit's own decode), and how long
// the loudness figures take to follow edits, and memory and times of many whole-file edits and
// their undo.
#pragma once

#include "Commands.h"

namespace quar::bench {

Json openCommand(const Words& words);
Json editsCommand(const Words& words);
Json undoDepthCommand(const Words& words);

} // namespace quar::bench
