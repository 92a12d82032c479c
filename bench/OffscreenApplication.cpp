#include "OffscreenApplication.h"

#include <cstdlib>
#include <string>

namespace quar::bench {
namespace {

int argc = 1;
char name[] = "quar-bench";
char* argv[] = {name, nullptr};

// Runs before the application exists: Qt and the audio layer read these when they start.
int& preparedArgc(double devicePixelRatio) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", std::to_string(devicePixelRatio).c_str(), 1);
  setenv("QUARNEL_AUDIO", "null", 1);
  return argc;
}

} // namespace

OffscreenApplication::OffscreenApplication(double devicePixelRatio)
    : application_(preparedArgc(devicePixelRatio), argv) {}

} // namespace quar::bench
