#include "inspector/SignalStatsState.h"

#include <QPointer>

#include "base/QuarError.h"
#include "editor/EditorModel.h"
#include "platform/JobPool.h"
#include "platform/ObservationScope.h"
#include "platform/Observable.h"

SignalStatsState::SignalStatsState(EditorModel* model, Measure measure, QObject* parent)
    : QObject(parent), model_(model), measure_(std::move(measure)), key_(key()) {
  connect(model_, &EditorModel::changed, this, [this](EditorModel::Property property) {
    if (property != EditorModel::Property::contentVersion && property != EditorModel::Property::selection) return;
    if (const auto now = key(); now != key_) {
      key_ = now;
      restart();
    }
  });
  connect(model_, &EditorModel::backgroundWorkCancelled, this, [this] { task_.cancel(); });
  restart();
}

const std::optional<quar::SignalStats>& SignalStatsState::stats() const {
  ObservationScope::record(this, Property::stats);
  return stats_;
}

std::array<int64_t, 3> SignalStatsState::key() const {
  const std::optional<quar::FrameRange> selection = model_->selection();
  return {model_->contentVersion(), selection ? selection->lowerBound : -1, selection ? selection->upperBound : -1};
}

void SignalStatsState::restart() {
  setStats(std::nullopt);
  task_.schedule([this](DebouncedTask::Ticket ticket) {
    quar::AudioContent content = model_->content();
    const std::optional<quar::FrameRange> selection = model_->selection();
    if (content.frameCount() == 0) return;
    JobPool::startUtility([guard = QPointer<SignalStatsState>(this), measure = measure_, content = std::move(content),
                           selection, ticket] {
      quar::SignalStats stats;
      try {
        stats = measure(content, selection, [&ticket](double) { return ticket.isCurrent(); });
      } catch (const quar::CancellationError&) {
        return;
      }
      JobPool::deliver(guard, [stats = std::move(stats), ticket](SignalStatsState& state) {
        if (ticket.isCurrent()) state.setStats(stats);
      });
    });
  });
}

void SignalStatsState::setStats(std::optional<quar::SignalStats> stats) {
  assignObserved(this, stats_, std::move(stats), Property::stats);
}
