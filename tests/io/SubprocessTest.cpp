#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "base/QuarError.h"
#include "io/FFmpegTestSupport.h"
#include "io/Subprocess.h"

using namespace quar;

namespace {

Subprocess::Result shell(const std::string& script) { return Subprocess::run("/bin/sh", {"-c", script}); }

std::string text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::ptrdiff_t openDescriptors() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
}

} // namespace

TEST(Subprocess, RunCollectsOutputErrorTextAndStatus) {
  const auto result = shell("printf 'out'; printf '\\n  warn \\377 ing \\n\\n' >&2; exit 3");
  EXPECT_EQ(text(result.stdout), "out");
  EXPECT_EQ(result.stderr, "warn \uFFFD ing");
  EXPECT_EQ(result.status, 3);

  EXPECT_EQ(shell("true").status, 0);
  // A child killed by a signal is a failure.
  EXPECT_EQ(shell("kill -KILL $$").status, 128 + 9);
}

// Standard error larger than a pipe's capacity is drained while standard output is read.
TEST(Subprocess, LargeStandardErrorDoesNotDeadlock) {
  const auto result = shell("head -c 300000 /dev/zero | tr '\\0' e >&2; head -c 200000 /dev/zero | tr '\\0' o");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.stdout.size(), 200000u);
  EXPECT_EQ(result.stderr, std::string(300000, 'e'));
}

TEST(Subprocess, IncrementalReadingAndReaping) {
  Subprocess process("/bin/sh", {"-c", "printf abcdef; printf oops >&2; exit 2"});
  process.start();
  char buffer[4];
  std::string output;
  while (const size_t count = process.readStdout(buffer, sizeof buffer)) output.append(buffer, count);
  EXPECT_EQ(output, "abcdef");
  EXPECT_EQ(process.waitForExit(), 2);
  EXPECT_EQ(process.stderrText(), "oops");
  // Once reaped, stopping does nothing and the status stays.
  process.terminate();
  process.terminate();
  EXPECT_EQ(process.waitForExit(), 2);
}

TEST(Subprocess, NotStartedDoesNothing) {
  Subprocess process("/bin/sh", {"-c", "exit 0"});
  process.terminate();
  EXPECT_EQ(process.waitForExit(), -1);
  EXPECT_EQ(process.stderrText(), "");
}

TEST(Subprocess, MissingProgramFailsToLaunch) {
  try {
    Subprocess::run("/nonexistent/folder/quar-missing-tool", {});
    FAIL() << "launched";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::decodeFailed);
    EXPECT_EQ(error.message(), "couldn\u2019t launch quar-missing-tool: No such file or directory");
  }
}

// No thread can start (its stack does not fit in the address space): the launch fails as any
// other, the child is stopped and no pipe stays open.
TEST(Subprocess, AFailedDrainThreadFailsTheLaunchAndLeavesNothingOpen) {
  pthread_attr_t usual;
  ASSERT_EQ(pthread_getattr_default_np(&usual), 0);
  pthread_attr_t huge;
  pthread_attr_init(&huge);
  ASSERT_EQ(pthread_attr_setstacksize(&huge, size_t(1) << 47), 0);
  const std::ptrdiff_t openBefore = openDescriptors();
  {
    Subprocess process("/bin/sh", {"-c", "sleep 30"});
    ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
    std::optional<QuarError> failure;
    try {
      process.start();
    } catch (const QuarError& error) {
      failure = error;
    }
    pthread_setattr_default_np(&usual);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), QuarError::Kind::decodeFailed);
    EXPECT_TRUE(failure->message().starts_with("couldn\u2019t launch sh: ")) << failure->message();
    EXPECT_EQ(process.waitForExit(), 128 + SIGTERM);
  }
  EXPECT_EQ(openDescriptors(), openBefore);
  pthread_attr_destroy(&huge);
  pthread_attr_destroy(&usual);
}

TEST(Subprocess, TerminateKillsAChildThatIgnoresSIGTERM) {
  Subprocess process("/bin/sh", {"-c", "trap '' TERM; echo ready; exec sleep 30"});
  process.start();
  char buffer[16];
  ASSERT_GT(process.readStdout(buffer, sizeof buffer), 0u);  // the trap is in place
  const auto begin = std::chrono::steady_clock::now();
  process.terminate();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_GE(seconds, 1.9);  // the grace period was granted
  EXPECT_EQ(process.waitForExit(), 128 + 9);
}

// Stopping reaches what the child started, also when that ignores SIGTERM and holds standard
// error open (which would otherwise keep the drain, and so the caller, waiting).
TEST(Subprocess, TerminateStopsTheChildsWholeProcessGroup) {
  Subprocess process("/bin/sh", {"-c", "(trap '' TERM; exec sleep 300) & echo $!; exec sleep 300"});
  process.start();
  char buffer[32] = {};
  ASSERT_GT(process.readStdout(buffer, sizeof buffer - 1), 0u);
  const pid_t helper = static_cast<pid_t>(std::stol(buffer));
  process.terminate();
  EXPECT_EQ(process.waitForExit(), 128 + 15);
  EXPECT_TRUE(quar::testing::processEnds(helper));
}

// A child blocked on a full output pipe is freed by closing that pipe, even when it ignores
// SIGTERM; destroying the object stops it.
TEST(Subprocess, DestructionStopsAChildBlockedOnOutput) {
  pid_t child = 0;
  {
    Subprocess process("/bin/sh", {"-c", "trap '' TERM; echo $$; exec yes"});
    process.start();
    char buffer[16] = {};
    ASSERT_GT(process.readStdout(buffer, sizeof buffer - 1), 0u);
    child = static_cast<pid_t>(std::stol(buffer));
  }
  EXPECT_TRUE(quar::testing::processEnds(child));
}

TEST(Subprocess, TwoRunsOnTwoThreads) {
  Subprocess::Result first;
  Subprocess::Result second;
  const std::string script = "head -c 150000 /dev/zero | tr '\\0' e >&2; head -c 150000 /dev/zero";
  std::thread a([&] { first = shell(script); });
  std::thread b([&] { second = shell(script); });
  a.join();
  b.join();
  for (const auto* result : {&first, &second}) {
    EXPECT_EQ(result->status, 0);
    EXPECT_EQ(result->stdout.size(), 150000u);
    EXPECT_EQ(result->stderr.size(), 150000u);
  }
}
