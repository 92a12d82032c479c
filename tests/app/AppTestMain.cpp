// Runs the editor's tests in an offscreen QApplication with temporary settings and data
// folders, the null audio device on its manual clock, a fixed English locale, a counting beep,
// the program's wheel and focus rules, its document windows and animations off (tests of an
// animation turn them on).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdlib>

#include "platform/ControlFocus.h"
#include "platform/NullAudioBackend.h"
#include "platform/Platform.h"
#include "platform/WheelGuard.h"
#include "window/EditorWindowController.h"
#include "AppTestSupport.h"

int main(int argc, char** argv) {
  QTemporaryDir home;
  const QByteArray root = home.path().toUtf8();
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("XDG_RUNTIME_DIR", root.constData(), 1);
  setenv("QUARNEL_AUDIO", "null", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("QUARNEL_REDUCE_MOTION", "1", 1);

  QApplication app(argc, argv);
  Platform::configureApplication();
  WheelGuard::install();
  ControlFocus::install();
  EditorWindowController::installAsDocumentWindow();
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Platform::setBeepHandler([] { ++AppTestSupport::beepCount(); });
  // Playback advances only when a test pumps the null device.
  dynamic_cast<NullAudioBackend&>(AudioBackend::shared()).setClock(NullAudioBackend::Clock::manual);

  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
