#include <QApplication>
#include <QThreadPool>

#include "AppDelegate.h"
#include "platform/Icons.h"
#include "platform/JobPool.h"
#include "platform/Platform.h"
#include "platform/WheelGuard.h"
#include "window/EditorWindowController.h"

int main(int argc, char* argv[]) {
  Platform::configureMemory();
  QApplication app(argc, argv);
  Platform::configureApplication();
  WheelGuard::install();
  EditorWindowController::installAsDocumentWindow();
  QApplication::setWindowIcon(Icons::get(QStringLiteral("waveform")));
  // Documents close through their windows and Quit; the no-document window quits when closed.
  QApplication::setQuitOnLastWindowClosed(false);

  int status = 0;
  {
    AppDelegate delegate;
    delegate.applicationWillFinishLaunching();
    delegate.openFiles(QApplication::arguments().mid(1));
    delegate.applicationDidFinishLaunching();
    status = QApplication::exec();
  }
  // Saves still writing finish before the program ends.
  JobPool::userInitiated().waitForDone();
  return status;
}
