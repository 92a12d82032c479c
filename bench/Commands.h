// The single-operation commands of quar-bench. Each takes the words after its name, does one
// operation on a file and returns the JSON object it prints; times are seconds measured inside
// the process. Errors throw (UsageError for a bad command line).
#pragma once

#include <string>
#include <vector>

#include "base/Json.h"

namespace quar::bench {

using Words = std::vector<std::string>;

Json decodeCommand(const Words& words);
Json exportCommand(const Words& words);
Json loudnessCommand(const Words& words);
Json normalizeCommand(const Words& words);
Json resampleCommand(const Words& words);
Json effectCommand(const Words& words);
Json stretchCommand(const Words& words);
Json tempoCommand(const Words& words);
Json statsCommand(const Words& words);
Json spliceCommand(const Words& words);
Json processCommand(const Words& words);

} // namespace quar::bench
