// What the file tests need of the system calls behind a replacement file. The test program's own
// flock() and fsync() stand in front of the C library's: they run the hook installed for the
// moment on the calling thread, then make the system call. withoutUnnamedFiles() runs work on a
// thread on which the kernel refuses unnamed files (O_TMPFILE), as file systems without them do.
#pragma once

#include <functional>

namespace quar::test {

// Runs once, at the next flock() of the calling thread, before the lock is taken; calls the
// hook makes are not hooked. Empty: none.
void beforeNextFlock(std::function<void(int fd)> hook);
// Runs at every fsync() of the calling thread, before the sync, while installed.
void beforeEachFsync(std::function<void(int fd)> hook);

// Runs `work` on a thread of its own on which opening an unnamed file fails with EOPNOTSUPP, and
// passes on what it throws. False, without running it, when the kernel refuses the filter.
bool withoutUnnamedFiles(const std::function<void()>& work);

} // namespace quar::test
