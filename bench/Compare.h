// `quar-bench compare`: synthesises a stereo 48 kHz 24-bit file, runs every operation of
// quar-bench and the matching sox and ffmpeg commands on it as child processes, several times
// each, and prints a table of median wall times and peak memory.
#pragma once

#include <string>
#include <vector>

namespace quar::bench {

// Returns the exit status: 0 when every run of ours succeeded.
int compareCommand(const std::vector<std::string>& words);

} // namespace quar::bench
