// Localized standard ordering of names, the way a file browser sorts them: letters compared
// without regard to case, runs of digits by their numeric value ("Preset 2" before "Preset 10").
// Pinned to en_US, so the order does not follow the user's locale. GUI thread.
#pragma once

#include <QString>

// < 0, 0 or > 0 as `a` sorts before, with or after `b`.
int localizedStandardCompare(const QString& a, const QString& b);
