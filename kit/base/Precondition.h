// Contract checks: a violated precondition is a caller's bug, so the program stops in every
// build type (never compiled out like assert). Safe anywhere, including the audio thread.
#pragma once

namespace quar {

[[noreturn]] void preconditionFailure(const char* condition, const char* message, const char* file, int line);

} // namespace quar

#define QUAR_PRECONDITION(cond, message)                                                \
  do {                                                                                  \
    if (!(cond)) [[unlikely]]                                                           \
      ::quar::preconditionFailure(#cond, (message), __FILE__, __LINE__);                \
  } while (false)
