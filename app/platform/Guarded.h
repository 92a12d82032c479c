// Guarded<T>: a value behind its own mutex. Other threads lock it to read or replace the
// value; the audio thread only tries the lock (tryWith), never waits, and holds it just long
// enough to copy what it needs. tryWith allocates nothing and is safe on the audio thread.
#pragma once

#include <mutex>

template <typename T>
class Guarded {
public:
  Guarded() = default;
  explicit Guarded(T value) : value_(std::move(value)) {}

  // Runs body(value) with the lock held, waiting for it; returns what body returns.
  template <typename Body>
  decltype(auto) with(Body&& body) {
    std::lock_guard lock(mutex_);
    return body(value_);
  }
  // Runs body(value) only when the lock is free at once; true when it ran.
  template <typename Body>
  bool tryWith(Body&& body) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    body(value_);
    return true;
  }
  // The lock itself, for holding it across calls (tests hold it to see a busy lock).
  std::mutex& mutex() { return mutex_; }

private:
  std::mutex mutex_;
  T value_;
};
