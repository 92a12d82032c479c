#include "platform/JobPool.h"

#include <QThread>
#include <QThreadPool>

#include "platform/Platform.h"

namespace JobPool {

QThreadPool& userInitiated() {
  static QThreadPool* const pool = [] {
    Platform::assertGuiThread();
    auto* made = new QThreadPool(QCoreApplication::instance());
    made->setObjectName(QStringLiteral("UserInitiatedJobs"));
    return made;
  }();
  return *pool;
}

void start(std::function<void()> work) { userInitiated().start(std::move(work)); }

QThreadPool& utility() {
  static QThreadPool* const pool = [] {
    Platform::assertGuiThread();
    auto* made = new QThreadPool(QCoreApplication::instance());
    made->setObjectName(QStringLiteral("UtilityJobs"));
    made->setThreadPriority(QThread::LowPriority);
    return made;
  }();
  return *pool;
}

void startUtility(std::function<void()> work) { utility().start(std::move(work)); }

} // namespace JobPool
