// ProgressToken: the progress fraction ([0, 1]) and cancel flag of one background job, shared
// between the GUI thread and the job's thread. Every call is lock-free and may run on any
// thread.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <functional>

class ProgressToken {
public:
  double fraction() const { return std::bit_cast<double>(bits_.load(std::memory_order_relaxed)); }

  // Stores the fraction (<= 0 becomes 0, > 1 becomes 1, NaN is kept) and returns whether the
  // job may go on (false once cancelled).
  bool report(double fraction) {
    if (fraction <= 0)
      fraction = 0;
    else if (fraction > 1)
      fraction = 1;
    bits_.store(std::bit_cast<uint64_t>(fraction), std::memory_order_relaxed);
    return !isCancelled();
  }

  void cancel() { cancelFlag_.store(true, std::memory_order_relaxed); }
  bool isCancelled() const { return cancelFlag_.load(std::memory_order_relaxed); }

  // `report` as the progress callback of the kit's long operations.
  std::function<bool(double)> callback() {
    return [this](double fraction) { return report(fraction); };
  }
  // A progress callback for a part of a job that leaves the fraction alone: it only answers
  // whether the job may go on.
  std::function<bool(double)> cancellationCheck() const {
    return [this](double) { return !isCancelled(); };
  }

private:
  std::atomic<uint64_t> bits_{0};
  std::atomic<bool> cancelFlag_{false};
};
