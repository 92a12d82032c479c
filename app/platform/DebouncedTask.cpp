#include "platform/DebouncedTask.h"

DebouncedTask::DebouncedTask(std::chrono::milliseconds delay) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(delay);
  QObject::connect(&timer_, &QTimer::timeout, [this] { startRequest(); });
}

DebouncedTask::~DebouncedTask() { cancel(); }

void DebouncedTask::schedule(std::function<void(Ticket)> start) {
  cancel();
  start_ = std::move(start);
  timer_.start();
}

void DebouncedTask::cancel() {
  generation_->fetch_add(1, std::memory_order_relaxed);
  timer_.stop();
  start_ = nullptr;
}

void DebouncedTask::fireNow() {
  if (!timer_.isActive()) return;
  timer_.stop();
  startRequest();
}

void DebouncedTask::startRequest() {
  const std::function<void(Ticket)> start = std::move(start_);
  start_ = nullptr;
  if (start) start(Ticket(generation_, generation_->load(std::memory_order_relaxed)));
}
