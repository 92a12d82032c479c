#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/QuarError.h"
#include "dsp/ParallelFor.h"
#include "dsp/ScopedFlushToZero.h"

using namespace quar;

TEST(ParallelFor, ZeroIterationsNeverCallTheBody) {
  for (bool concurrent : {false, true}) {
    int calls = 0;
    parallelFor(0, concurrent, [&](int64_t) { ++calls; });
    parallelFor(-3, concurrent, [&](int64_t) { ++calls; });
    EXPECT_EQ(calls, 0);
  }
}

TEST(ParallelFor, SerialLoopRunsInOrderOnTheCaller) {
  std::vector<int64_t> order;
  const auto caller = std::this_thread::get_id();
  parallelFor(5, false, [&](int64_t i) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    order.push_back(i);
  });
  EXPECT_EQ(order, (std::vector<int64_t>{0, 1, 2, 3, 4}));
}

TEST(ParallelFor, RunsEveryIndexExactlyOnceBeforeReturning) {
  for (int64_t count : {1, 2, 7, 1000}) {
    std::vector<std::atomic<int>> calls(static_cast<size_t>(count));
    parallelFor(count, true, [&](int64_t i) { calls[static_cast<size_t>(i)].fetch_add(1); });
    for (int64_t i = 0; i < count; ++i) EXPECT_EQ(calls[static_cast<size_t>(i)].load(), 1) << "index " << i;
  }
}

// Batches sized by the width keep every processor the process may use busy, and no more.
TEST(ParallelFor, TheWidthIsTheProcessorsOfTheAffinityAndThatManyIterationsRunAtOnce) {
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
  const int width = parallelForWidth();
  EXPECT_EQ(width, CPU_COUNT(&set));

  // Every iteration waits for all the others: only a pool as wide as stated gets them all in.
  std::mutex mutex;
  std::condition_variable allIn;
  int arrived = 0;
  std::atomic<int> met{0};
  parallelFor(width, true, [&](int64_t) {
    std::unique_lock lock(mutex);
    if (++arrived == width) allIn.notify_all();
    if (allIn.wait_for(lock, std::chrono::seconds(30), [&] { return arrived == width; })) met.fetch_add(1);
  });
  EXPECT_EQ(met.load(), width);
}

TEST(ParallelFor, ConcurrentAndNestedCallersAllFinish) {
  constexpr int callers = 4;
  std::atomic<int64_t> total{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < callers; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round)
        parallelFor(8, true, [&](int64_t) { parallelFor(4, true, [&](int64_t) { total.fetch_add(1); }); });
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(total.load(), callers * 20 * 8 * 4);
}

TEST(ParallelFor, RethrowsTheBodysErrorAfterTheRunningIterations) {
  for (bool concurrent : {false, true}) {
    std::atomic<int> running{0};
    EXPECT_THROW(parallelFor(64, concurrent,
                             [&](int64_t i) {
                               running.fetch_add(1);
                               if (i == 3) throw std::runtime_error("body failed");
                               running.fetch_sub(1);
                             }),
                 std::runtime_error);
    EXPECT_EQ(running.load(), 1);  // only the failed iteration is left counted
  }
  // The pool keeps working afterwards.
  std::atomic<int> calls{0};
  parallelFor(16, true, [&](int64_t) { calls.fetch_add(1); });
  EXPECT_EQ(calls.load(), 16);
}

TEST(ParallelFor, IterationsFlushDenormalsToZero) {
  std::atomic<int> flushing{0};
  parallelFor(32, true, [&](int64_t) {
    volatile float tiny = 1e-30f;
    if (ScopedFlushToZero::isEnabled() && tiny * 1e-10f == 0.0f) flushing.fetch_add(1);
  });
  EXPECT_EQ(flushing.load(), 32);
}

TEST(ParallelFor, BatchesReportAfterEachBatchAndStopWhenCancelled) {
  std::vector<std::atomic<int>> calls(70);
  std::vector<double> fractions;
  parallelForBatches(
      70, 32, [&](int64_t i) { calls[static_cast<size_t>(i)].fetch_add(1); },
      [&](double fraction) {
        fractions.push_back(fraction);
        return true;
      });
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].load(), 1) << "index " << i;
  EXPECT_EQ(fractions, (std::vector<double>{32.0 / 70, 64.0 / 70, 1.0}));

  std::atomic<int64_t> highest{-1};
  EXPECT_THROW(parallelForBatches(
                   70, 32,
                   [&](int64_t i) {
                     for (int64_t seen = highest.load(); i > seen && !highest.compare_exchange_weak(seen, i);) {}
                   },
                   [](double) { return false; }),
               CancellationError);
  EXPECT_EQ(highest.load(), 31);  // the first batch ran, the later ones did not start

  int ran = 0;
  parallelForBatches(0, 8, [&](int64_t) { ++ran; }, [](double) { return false; });
  EXPECT_EQ(ran, 0);  // nothing to do: nothing to report either
}
