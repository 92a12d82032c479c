#include "platform/ObservationScope.h"

namespace {
thread_local ObservationScope* innermost = nullptr;
}

ObservationScope::ObservationScope() : outer_(innermost) { innermost = this; }

ObservationScope::~ObservationScope() { innermost = outer_; }

void ObservationScope::record(const QObject* model, int property) {
  if (innermost) innermost->reads_.emplace(model, property);
}

ObservationTracker::ObservationTracker(std::function<void()> invalidate, QObject* parent)
    : QObject(parent), invalidate_(std::move(invalidate)) {}

void ObservationTracker::modelChanged(const QObject* model, int property) {
  if (!reads_.contains({model, property})) return;
  // One invalidation per drawing: the next drawing records a fresh set.
  reads_.clear();
  invalidate_();
}
