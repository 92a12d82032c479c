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

void start(std::function<void()> work) { userInitiated().start(std::move(work)); }

QThreadPool& utility() {
  static QThreadPool* const pool = makePool(QStringLiteral("UtilityJobs"), QThread::LowPriority);
  return *pool;
}

void startUtility(std::function<void()> work) { utility().start(std::move(work)); }

} // namespace JobPool
