#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

#include "platform/Icons.h"
#include "platform/Platform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  Platform::configureApplication();
  QApplication::setWindowIcon(Icons::get(QStringLiteral("waveform")));

  // The window that carries the menu bar while no document is open.
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Quarnel"));
  window.resize(480, 120);
  QMenu* file = window.menuBar()->addMenu(QStringLiteral("File"));
  QAction* quit = file->addAction(QStringLiteral("Quit Quarnel"));
  quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  QObject::connect(quit, &QAction::triggered, &app, &QApplication::quit);
  window.show();
  return app.exec();
}
