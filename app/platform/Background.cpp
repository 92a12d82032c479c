#include "platform/Background.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include "platform/Platform.h"

namespace Background {

void run(QObject* owner, std::function<void()> work, std::function<void(std::exception_ptr error)> done) {
  Platform::assertGuiThread();
  QThreadPool::globalInstance()->start(
      [guard = QPointer<QObject>(owner), work = std::move(work), done = std::move(done)]() mutable {
        std::exception_ptr error;
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
        // The application object outlives every work (see waitForAll), unlike the owner.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard = std::move(guard), done = std::move(done), error] {
              if (guard) done(error);
            },
            Qt::QueuedConnection);
      });
}

void waitForAll() { QThreadPool::globalInstance()->waitForDone(); }

} // namespace Background
