// Shared helpers of the editor's tests: the beep counter, a fixture that starts every test
// with empty settings and no beeps, and a guard that turns animations on for its lifetime.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>

#include "widgets/Motion.h"

namespace AppTestSupport {

inline int& beepCount() {
  static int count = 0;
  return count;
}

// Animations run while it lives (the tests run with them off).
struct AnimationsOn {
  AnimationsOn() { Motion::setOverride(true); }
  ~AnimationsOn() { Motion::setOverride(std::nullopt); }
  AnimationsOn(const AnimationsOn&) = delete;
  AnimationsOn& operator=(const AnimationsOn&) = delete;
};

} // namespace AppTestSupport

class AppTest : public testing::Test {
protected:
  void SetUp() override {
    QSettings().clear();
    AppTestSupport::beepCount() = 0;
  }
};
