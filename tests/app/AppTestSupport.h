// Shared helpers of the editor's tests: the beep counter and a fixture that starts every test
// with empty settings and no beeps.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>

namespace AppTestSupport {

inline int& beepCount() {
  static int count = 0;
  return count;
}

} // namespace AppTestSupport

class AppTest : public testing::Test {
protected:
  void SetUp() override {
    QSettings().clear();
    AppTestSupport::beepCount() = 0;
  }
};
