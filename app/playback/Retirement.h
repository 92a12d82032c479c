// Retirement: keeps what the GUI thread replaced in something it shares with the render thread
// (programs with their content and envelope sets, preview runtimes) alive until the render
// thread can no longer hold it, so that nothing is ever freed on that thread.
//
// The render thread calls cycleCompleted() at the end of every cycle, once the cycle reads
// nothing of what it was given: one atomic add, no lock, no allocation. Everything else is for the GUI thread,
// which alone frees: an object retired there goes once the render thread has completed two
// more cycles, or when it has stopped (no cycle runs until it starts again).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class Retirement {
public:
  // Render thread: a cycle is over and holds nothing of what it read. Sequentially consistent,
  // like the count's loads, so that it orders with the stores that publish what a cycle reads.
  void cycleCompleted() { cycles_.fetch_add(1); }
  // Cycles completed so far (any thread).
  uint64_t completedCycles() const { return cycles_.load(); }

  // Keeps `object` until two more cycles have completed.
  void retire(std::shared_ptr<const void> object);
  // Frees what was retired at least two completed cycles ago, except `held`: an object the
  // render thread keeps across cycles.
  void release(const void* held = nullptr);
  // Frees everything retired: the render thread has stopped.
  void clear() { retired_.clear(); }
  size_t count() const { return retired_.size(); }

private:
  struct Retired {
    std::shared_ptr<const void> object;
    uint64_t cycle;  // completed cycles when it was retired
  };

  std::atomic<uint64_t> cycles_{0};
  std::vector<Retired> retired_;
};
