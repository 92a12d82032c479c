#include "platform/Platform.h"

#include <QApplication>
#include <QThread>

#include <malloc.h>

#include "base/Precondition.h"
#include "support/Preferences.h"

namespace {
std::function<void()>& beepHandler() {
  static std::function<void()> handler;
  return handler;
}
} // namespace

namespace Platform {

void configureApplication() {
  QCoreApplication::setOrganizationName(QStringLiteral("Quarnel"));
  QCoreApplication::setApplicationName(QStringLiteral("Quarnel"));
  Preferences::useIniFiles();
}

void configureMemory() {
  // Fixed thresholds: glibc would otherwise raise both after the first large free, and then keep
  // up to 64 MiB of freed memory at the top of each thread's heap for good. Audio blocks come from
  // the heaps (quick), and a heap gives back a free top of 2 MiB or more.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 2 << 20);
}

void returnFreedMemory() { malloc_trim(0); }

void beep() {
  if (beepHandler())
    beepHandler()();
  else
    QApplication::beep();
}

void setBeepHandler(std::function<void()> handler) { beepHandler() = std::move(handler); }

void assertGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  QUAR_PRECONDITION(app && QThread::currentThread() == app->thread(), "Called off the GUI thread");
}

} // namespace Platform
