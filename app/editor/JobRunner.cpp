#include "editor/JobRunner.h"

#include <QPointer>
#include <QTimer>

#include "platform/ErrorAlert.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"

void JobRunner::setBusy(std::optional<BusyState> busy) {
  busy_ = std::move(busy);
  Q_EMIT changed(Property::busy);
}

void JobRunner::run(const QString& title, Work work, Done done) {
  auto token = std::make_shared<ProgressToken>();
  token_ = token;
  const quar::Uuid id = beginExternalBusy(title, token);
  JobPool::start([owner = QPointer<JobRunner>(this), token, id, work = std::move(work),
                  done = std::move(done)]() mutable {
    Outcome outcome;
    try {
      outcome.content = work(*token);
    } catch (...) {
      outcome.error = std::current_exception();
    }
    JobPool::deliver(owner, [id, token, done = std::move(done), outcome = std::move(outcome)](JobRunner& runner) {
      if (runner.token_ == token) runner.token_.reset();
      runner.endExternalBusy(id);
      done(*token, outcome);
    });
  });
}

quar::Uuid JobRunner::beginExternalBusy(const QString& title, std::shared_ptr<ProgressToken> token) {
  Platform::assertGuiThread();
  const quar::Uuid id = quar::Uuid::random();
  setBusy(BusyState{id, title, token, 0});
  stopTimer();
  busyTimer_ = new QTimer(this);
  busyTimer_->setTimerType(Qt::PreciseTimer);
  busyTimer_->setInterval(50);
  connect(busyTimer_, &QTimer::timeout, this, [this, id, token] { busyTick(id, *token); });
  busyTimer_->start();
  return id;
}

void JobRunner::busyTick(const quar::Uuid& id, const ProgressToken& token) {
  if (!busy_ || busy_->id != id) return;
  BusyState state = *busy_;
  state.fraction = token.fraction();
  setBusy(std::move(state));
}

void JobRunner::endExternalBusy(const quar::Uuid& id) {
  Platform::assertGuiThread();
  if (!busy_ || busy_->id != id) return;
  stopTimer();
  setBusy(std::nullopt);
}

void JobRunner::stopTimer() {
  if (!busyTimer_) return;
  busyTimer_->stop();
  busyTimer_->deleteLater();
  busyTimer_ = nullptr;
}

void JobRunner::cancel() {
  if (token_) token_->cancel();
}

bool JobRunner::acceptsResult(const ProgressToken& token, const ContentStamp& stamp, const ContentStamp& current) {
  if (token.isCancelled()) return false;
  if (stamp == current) return true;
  Platform::beep();
  return false;
}

bool JobRunner::reportsError(const ProgressToken& token, const std::exception_ptr& error) {
  return !token.isCancelled() && error && !ErrorAlert::isCancellation(error);
}
