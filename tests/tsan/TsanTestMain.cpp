// Runs the ThreadSanitizer build's tests inside a QCoreApplication, whose thread is the GUI
// thread of the rack and whose event loop runs its timers.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
