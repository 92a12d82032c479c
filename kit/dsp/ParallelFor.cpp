#include "dsp/ParallelFor.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ScopedFlushToZero.h"

namespace quar {

namespace {

// One parallelFor call: iterations are claimed through `next`; `done` counts iterations that
// finished or were skipped after a failure.
struct Job {
  Job(int64_t count, const std::function<void(int64_t)>& body) : count(count), body(body) {}

  const int64_t count;
  const std::function<void(int64_t)>& body;
  std::atomic<int64_t> next{0};
  std::atomic<int64_t> done{0};
  std::atomic<bool> failed{false};
  std::mutex mutex;
  std::condition_variable finished;
  std::exception_ptr error;  // guarded by mutex

  // Runs claimed iterations until none is left. The body is only touched for claimed indices,
  // and the owner waits for all of them, so it outlives every use.
  void work() {
    for (int64_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
      if (!failed.load(std::memory_order_relaxed)) {
        try {
          body(i);
        } catch (...) {
          std::lock_guard lock(mutex);
          if (!error) error = std::current_exception();
          failed = true;
        }
      }
      if (done.fetch_add(1) + 1 == count) {
        std::lock_guard lock(mutex);
        finished.notify_all();
      }
    }
  }

  void wait() {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done.load() == count; });
  }
};

// The process-wide pool: one worker per CPU the process may run on, minus the calling thread,
// which always works on its own job. Workers take the oldest job that still has iterations.
class WorkerPool {
public:
  static WorkerPool& shared() {
    static WorkerPool pool;
    return pool;
  }

  ~WorkerPool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& worker : workers_) worker.join();
  }

  int width() const { return static_cast<int>(workers_.size()) + 1; }

  void run(int64_t count, const std::function<void(int64_t)>& body) {
    auto job = std::make_shared<Job>(count, body);
    if (!workers_.empty()) {
      {
        std::lock_guard lock(mutex_);
        jobs_.push_back(job);
      }
      const int64_t helpers = std::min<int64_t>(count - 1, static_cast<int64_t>(workers_.size()));
      for (int64_t h = 0; h < helpers; ++h) wake_.notify_one();
    }
    job->work();
    remove(job);
    job->wait();
    if (job->error) std::rethrow_exception(job->error);
  }

private:
  WorkerPool() {
    const int cpus = availableCPUs();
    for (int i = 1; i < cpus; ++i) workers_.emplace_back([this] { workerLoop(); });
  }

  static int availableCPUs() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  }

  void workerLoop() {
    ScopedFlushToZero::enableForCurrentThread();
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (stopping_) return;
        job = jobs_.front();
      }
      job->work();
      remove(job);
    }
  }

  void remove(const std::shared_ptr<Job>& job) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(jobs_.begin(), jobs_.end(), job);
    if (found != jobs_.end()) jobs_.erase(found);
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

} // namespace

void parallelFor(int64_t count, bool concurrent, const std::function<void(int64_t)>& body) {
  if (count <= 0) return;
  ScopedFlushToZero flushToZero;
  if (!concurrent || count == 1) {
    for (int64_t i = 0; i < count; ++i) body(i);
    return;
  }
  WorkerPool::shared().run(count, body);
}

int parallelForWidth() { return WorkerPool::shared().width(); }

void parallelForBatches(int64_t count, int64_t batch, const std::function<void(int64_t)>& body,
                        const std::function<bool(double)>& progress) {
  QUAR_PRECONDITION(batch >= 1, "Batches need at least one iteration");
  for (int64_t first = 0; first < count; first += batch) {
    const int64_t size = std::min(batch, count - first);
    parallelFor(size, size > 1, [&](int64_t index) { body(first + index); });
    if (progress && !progress(static_cast<double>(first + size) / static_cast<double>(count)))
      throw CancellationError();
  }
}

} // namespace quar
