#include "platform/Platform.h"

#include <QApplication>
#include <QSettings>
#include <QThread>

#include "base/Precondition.h"

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
  QSettings::setDefaultFormat(QSettings::IniFormat);
}

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
