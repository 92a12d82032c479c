// ObservedRefresh: keeps a widget that shows model state in step with its models. `run()` calls
// the refresh function inside an ObservationScope; the first later change of a property it read
// runs it again at once, recording a fresh set of reads. The refresh function only reads models
// and writes widgets (under QSignalBlocker where a widget would call back). GUI thread only.
#pragma once

#include <QObject>

#include <functional>

#include "platform/ObservationScope.h"

class ObservedRefresh final : public QObject {
  Q_OBJECT
public:
  ObservedRefresh(std::function<void()> refresh, QObject* parent);

  // Listens to a model's `changed(Property)` signal; call before the first run.
  template <typename Model>
  void watch(Model* model) {
    tracker_->watch(model);
  }
  // The tracker behind watch(), for models that add themselves to it.
  ObservationTracker& tracker() { return *tracker_; }

  // Refreshes now and watches what the refresh read.
  void run();

private:
  std::function<void()> refresh_;
  ObservationTracker* tracker_;
};
