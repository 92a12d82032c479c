// Subprocess: runs a command-line tool as a child process with standard input on the null
// device and standard output and standard error on pipes. The caller reads standard output
// (incrementally or all at once); a thread of the object's own drains standard error, whose
// text is kept for messages. The child leads a process group of its own: stopping closes
// standard output, sends SIGTERM to the group and, after a 2.0 s grace for the child, SIGKILL to
// what is left of the group, so nothing the child started outlives it. One object serves one
// child and is driven by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace quar {

class Subprocess {
public:
  struct Result {
    int32_t status = -1;  // exit status; 128 + the signal number for a child killed by a signal
    std::vector<uint8_t> stdout;
    std::string stderr;
  };

  static constexpr double terminateGraceSeconds = 2.0;

  // Prepares; does not launch.
  Subprocess(std::filesystem::path executable, std::vector<std::string> arguments);
  // Stops and reaps a child still running, as terminate() does.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Launches the child; throws QuarError::decodeFailed("couldn’t launch <name>: <reason>"), also
  // when standard error's drain thread cannot start (the child is then stopped and reaped).
  void start();
  // One read of at most `count` bytes of standard output; 0 at its end. Retries on EINTR;
  // throws QuarError::decodeFailed("reading tool output failed (errno N)") otherwise.
  size_t readStdout(void* buffer, size_t count);
  // Standard output up to its end.
  std::vector<uint8_t> readAllStdout();
  // Closes standard output, sends SIGTERM to the child's process group, SIGKILL to the group
  // after the child exits or the grace period ends, then reaps the child and the drain thread.
  // Does nothing before start() or once reaped.
  void terminate() noexcept;
  // Waits for the child's exit and the end of standard error; returns the exit status
  // (-1 when never started). Read standard output to its end first.
  int32_t waitForExit();
  // Standard error so far (all of it once reaped), as UTF-8 with invalid bytes replaced,
  // trimmed of white space and newlines.
  std::string stderrText() const;

  // Starts the tool, reads all of standard output and waits for the exit.
  static Result run(const std::filesystem::path& executable, const std::vector<std::string>& arguments);

private:
  struct StderrBox;

  // True when the child has exited; it is not reaped, so its process id stays taken.
  bool hasExited() const;
  void closeStdout() noexcept;
  void reap();

  std::filesystem::path executable_;
  std::vector<std::string> arguments_;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  std::shared_ptr<StderrBox> stderrBox_;
  std::thread stderrDrain_;
  bool started_ = false;
  bool exited_ = false;
  bool reaped_ = false;
  int32_t exitStatus_ = -1;
};

} // namespace quar
