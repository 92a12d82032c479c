// quar-bench inspector: the inspector's costs over a stereo document of the given length held in
// memory: the GUI thread's work per live spectrum update while playing (one FFT frame at the
// playhead folded into the shown spectrum and held peaks, then one repaint of the plot at the
// inspector's size), and the signal statistics of the whole document (the info panel's
// background measurement). GUI thread of its own QApplication on the offscreen platform.
#pragma once

#include "Commands.h"

namespace quar::bench {

// inspector [--minutes M] [--fft N] [--updates U] [--runs N]
Json inspectorCommand(const Words& words);

} // namespace quar::bench
