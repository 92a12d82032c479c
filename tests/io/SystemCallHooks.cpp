#include "SystemCallHooks.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <exception>
#include <iterator>
#include <thread>
#include <utility>

namespace {

thread_local std::function<void(int)> flockHook;
thread_local std::function<void(int)> fsyncHook;
thread_local bool inHook = false;

// Runs `hook` unless a hook is running on this thread.
void run(const std::function<void(int)>& hook, int fd) {
  if (!hook || inHook) return;
  inHook = true;
  hook(fd);
  inHook = false;
}

} // namespace

extern "C" int flock(int fd, int operation) noexcept {
  if (!inHook) run(std::exchange(flockHook, {}), fd);
  return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

extern "C" int fsync(int fd) {
  run(fsyncHook, fd);
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace quar::test {

void beforeNextFlock(std::function<void(int fd)> hook) { flockHook = std::move(hook); }

void beforeEachFsync(std::function<void(int fd)> hook) { fsyncHook = std::move(hook); }

bool withoutUnnamedFiles(const std::function<void()>& work) {
  bool filtered = false;
  std::exception_ptr error;
  std::thread([&] {
    // openat with the unnamed-file bit in its flags fails (the flags are the low word of the
    // argument on little-endian machines).
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    // Without SECCOMP_FILTER_FLAG_TSYNC the filter holds for this thread only.
    filtered = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
               ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
    if (!filtered) return;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
  }).join();
  if (error) std::rethrow_exception(error);
  return filtered;
}

} // namespace quar::test
