#include "platform/ObservedRefresh.h"

ObservedRefresh::ObservedRefresh(std::function<void()> refresh, QObject* parent)
    : QObject(parent), refresh_(std::move(refresh)), tracker_(new ObservationTracker([this] { run(); }, this)) {}

void ObservedRefresh::run() {
  ObservationScope scope;
  refresh_();
  tracker_->setReads(scope.takeReads());
}
