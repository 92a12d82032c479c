#include "base/Precondition.h"

#include <cstdio>
#include <cstdlib>

namespace quar {

void preconditionFailure(const char* condition, const char* message, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: precondition failed: %s (%s)\n", file, line, message, condition);
  std::fflush(stderr);
  std::abort();
}

} // namespace quar
