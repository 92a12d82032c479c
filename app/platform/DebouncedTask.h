// DebouncedTask: one kind of request that waits a fixed delay on the GUI thread and then starts
// (typically handing work to a pool). Every new request, and cancel(), supersedes the previous
// one: a waiting request never starts, and the Ticket of a started one stops being current, so
// its work can stop early and its result is dropped; so does destroying the task. GUI thread
// only, except Ticket, which any thread may copy and ask.
#pragma once

#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class DebouncedTask {
public:
  // Identifies one request; current until a newer request or a cancel supersedes it.
  class Ticket {
  public:
    bool isCurrent() const { return generation_->load(std::memory_order_relaxed) == mine_; }

  private:
    friend class DebouncedTask;
    Ticket(std::shared_ptr<const std::atomic<uint64_t>> generation, uint64_t mine)
        : generation_(std::move(generation)), mine_(mine) {}

    std::shared_ptr<const std::atomic<uint64_t>> generation_;
    uint64_t mine_;
  };

  explicit DebouncedTask(std::chrono::milliseconds delay);
  // Supersedes the last request.
  ~DebouncedTask();
  DebouncedTask(const DebouncedTask&) = delete;
  DebouncedTask& operator=(const DebouncedTask&) = delete;

  // Supersedes the previous request, then calls start(ticket) on the GUI thread once the delay
  // has passed without another request.
  void schedule(std::function<void(Ticket)> start);
  // Supersedes the previous request without making a new one.
  void cancel();
  // Whether a request is waiting for its delay to pass.
  bool isWaiting() const { return timer_.isActive(); }
  // Starts the waiting request now, as if its delay had passed; nothing when none waits. Lets
  // tests run a debounced request without waiting out the delay.
  void fireNow();
  std::chrono::milliseconds delay() const { return timer_.intervalAsDuration(); }

private:
  void startRequest();

  QTimer timer_;
  std::shared_ptr<std::atomic<uint64_t>> generation_ = std::make_shared<std::atomic<uint64_t>>(0);
  std::function<void(Ticket)> start_;
};
