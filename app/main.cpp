#include <QApplication>
#include <QThreadPool>

#include "AppDelegate.h"
#include "platform/ControlFocus.h"
#include "platform/DesktopEntry.h"
#include "platform/Icons.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"
#include "platform/SingleInstance.h"
#include "platform/WheelGuard.h"
#include "widgets/Theme.h"
#include "window/EditorWindowController.h"

int main(int argc, char* argv[]) {
  Platform::configureMemory();
  QApplication app(argc, argv);
  Platform::configureApplication();
  Theme::keepDisabledTextReadable();
  QGuiApplication::setDesktopFileName(QString::fromUtf16(DesktopEntry::identifier));
  const QStringList files = QApplication::arguments().mid(1);
  // A program already running takes the files, and this launch ends.
  SingleInstance instance;
  if (instance.start(files) == SingleInstance::Role::handedOver) return 0;
  WheelGuard::install();
  ControlFocus::install();
  EditorWindowController::installAsDocumentWindow();
  QApplication::setWindowIcon(Icons::get(QStringLiteral("waveform")));
  // Documents close through their windows and Quit; the no-document window quits when closed.
  QApplication::setQuitOnLastWindowClosed(false);

  int status = 0;
  {
    AppDelegate delegate;
    delegate.startLaunching();
    delegate.openFiles(files);
    QObject::connect(&instance, &SingleInstance::requested, &delegate, &AppDelegate::openFromLaterLaunch);
    delegate.finishLaunching();
    status = QApplication::exec();
  }
  // Saves still writing finish before the program ends.
  JobPool::userInitiated().waitForDone();
  return status;
}
