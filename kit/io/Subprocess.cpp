#include "io/Subprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "base/QuarError.h"

extern char** environ;

namespace quar {

struct Subprocess::StderrBox {
  std::mutex mutex;
  std::string data;
};

namespace {

// Both ends of a pipe, closed on destruction unless released.
struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
};

int32_t statusFromWait(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

// Replaces every invalid UTF-8 sequence with U+FFFD.
std::string validUTF8(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = data[i];
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2, minimum = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, minimum = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, minimum = 0x10000;
    bool valid = length > 0 && i + length <= size;
    uint32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (data[i + k] & 0xC0) == 0x80;
      codePoint = codePoint << 6 | (data[i + k] & 0x3F);
    }
    valid = valid && codePoint >= minimum && codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    if (valid) {
      text.append(bytes, i, length);
      i += length;
    } else {
      text += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return text;
}

std::string trimmed(const std::string& text) {
  const char* whitespace = " \t\n\r\v\f";
  const auto first = text.find_first_not_of(whitespace);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(whitespace) - first + 1);
}

} // namespace

Subprocess::Subprocess(std::filesystem::path executable, std::vector<std::string> arguments)
    : executable_(std::move(executable)), arguments_(std::move(arguments)), stderrBox_(std::make_shared<StderrBox>()) {}

Subprocess::~Subprocess() { terminate(); }

void Subprocess::start() {
  const std::string name = executable_.filename().empty() ? "tool" : executable_.filename().string();
  auto launchFailure = [&](int error) {
    return QuarError::decodeFailed("couldn\u2019t launch " + name + ": " + std::strerror(error));
  };
  Pipe out;
  Pipe err;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw launchFailure(errno);
  out.read = fds[0], out.write = fds[1];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw launchFailure(errno);
  err.read = fds[0], err.write = fds[1];

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
  // The child starts with no blocked signals and default SIGTERM and SIGPIPE handling.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  // The child leads a process group of its own, so stopping it stops whatever it started.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<std::string> argumentStorage{executable_.string()};
  argumentStorage.insert(argumentStorage.end(), arguments_.begin(), arguments_.end());
  std::vector<char*> argv;
  for (auto& argument : argumentStorage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const int error = posix_spawn(&pid_, executable_.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    pid_ = -1;
    throw launchFailure(error);
  }
  started_ = true;
  ::close(out.write), out.write = -1;
  ::close(err.write), err.write = -1;
  stdoutFd_ = out.read, out.read = -1;

  const int stderrFd = err.read;
  auto drain = [stderrFd, box = stderrBox_] {
    std::string data;
    char buffer[4096];
    for (;;) {
      const ssize_t count = ::read(stderrFd, buffer, sizeof buffer);
      if (count > 0) {
        data.append(buffer, static_cast<size_t>(count));
      } else if (count < 0 && errno == EINTR) {
        continue;
      } else {
        if (count < 0) data.clear();
        break;
      }
    }
    ::close(stderrFd);
    const std::lock_guard lock(box->mutex);
    box->data = std::move(data);
  };
  try {
    stderrDrain_ = std::thread(std::move(drain));
  } catch (const std::system_error& error) {
    // No drain: the child is stopped, and `err` closes standard error's read end.
    terminate();
    throw launchFailure(error.code().value());
  }
  err.read = -1;  // the drain thread's now
}

size_t Subprocess::readStdout(void* buffer, size_t count) {
  for (;;) {
    const ssize_t result = ::read(stdoutFd_, buffer, count);
    if (result >= 0) return static_cast<size_t>(result);
    if (errno == EINTR) continue;
    throw QuarError::decodeFailed("reading tool output failed (errno " + std::to_string(errno) + ")");
  }
}

std::vector<uint8_t> Subprocess::readAllStdout() {
  std::vector<uint8_t> result;
  std::vector<uint8_t> scratch(65536);
  while (const size_t count = readStdout(scratch.data(), scratch.size()))
    result.insert(result.end(), scratch.begin(), scratch.begin() + static_cast<ptrdiff_t>(count));
  return result;
}

bool Subprocess::hasExited() const {
  siginfo_t info{};
  int result;
  do {
    result = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
  } while (result < 0 && errno == EINTR);
  // Not being able to wait for it counts as exited; reap() then records no status.
  return result < 0 || info.si_pid == pid_;
}

void Subprocess::closeStdout() noexcept {
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
  stdoutFd_ = -1;
}

void Subprocess::reap() {
  if (!exited_) {
    int waitStatus = 0;
    pid_t result;
    do {
      result = ::waitpid(pid_, &waitStatus, 0);
    } while (result < 0 && errno == EINTR);
    exited_ = true;
    exitStatus_ = result == pid_ ? statusFromWait(waitStatus) : -1;
  }
  if (stderrDrain_.joinable()) stderrDrain_.join();
  closeStdout();
  reaped_ = true;
}

void Subprocess::terminate() noexcept {
  if (!started_ || reaped_) return;
  // A child blocked on a full output pipe may never see SIGTERM; closing our end frees it.
  closeStdout();
  if (!hasExited()) {
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(terminateGraceSeconds);
    while (!hasExited() && std::chrono::steady_clock::now() < deadline) ::usleep(10000);
  }
  // Whatever is left of the group (the child, or processes it started and left behind, which
  // could also hold standard error open). The child is not reaped yet, so its id, the group's,
  // cannot have passed to another process.
  ::kill(-pid_, SIGKILL);
  reap();
}

int32_t Subprocess::waitForExit() {
  if (!started_) return -1;
  if (!reaped_) reap();
  return exitStatus_;
}

std::string Subprocess::stderrText() const {
  std::string bytes;
  {
    const std::lock_guard lock(stderrBox_->mutex);
    bytes = stderrBox_->data;
  }
  return trimmed(validUTF8(bytes));
}

Subprocess::Result Subprocess::run(const std::filesystem::path& executable, const std::vector<std::string>& arguments) {
  Subprocess process(executable, arguments);
  process.start();
  Result result;
  try {
    result.stdout = process.readAllStdout();
  } catch (...) {
    process.terminate();
    throw;
  }
  result.status = process.waitForExit();
  result.stderr = process.stderrText();
  return result;
}

} // namespace quar
