#include "platform/JobPool.h"

#include <QThread>
#include <QThreadPool>

#include "platform/Platform.h"

namespace {

QThreadPool* makePool(const QString& name, QThread::Priority priority) {
  Platform::assertGuiThread();
  auto* pool = new QThreadPool(QCoreApplication::instance());
  pool->setObjectName(name);
  pool->setThreadPriority(priority);
  return pool;
}

} // namespace

namespace JobPool {

QThreadPool& userInitiated() {
  static QThreadPool* const pool = makePool(QStringLiteral("UserInitiatedJobs"), QThread::InheritPriority);
  return *pool;
}

namespace {

// `work`, released as soon as it has run: what it holds (a copy of a document's audio, say) goes
// then, and the memory it freed goes back to the system.
std::function<void()> releasing(std::function<void()> work) {
  return [work = std::move(work)]() mutable {
    work();
    work = nullptr;
    Platform::returnFreedMemory();
  };
}

} // namespace

void start(std::function<void()> work) { userInitiated().start(releasing(std::move(work))); }

QThreadPool& utility() {
  static QThreadPool* const pool = makePool(QStringLiteral("UtilityJobs"), QThread::LowPriority);
  return *pool;
}

void startUtility(std::function<void()> work) { utility().start(releasing(std::move(work))); }

} // namespace JobPool
