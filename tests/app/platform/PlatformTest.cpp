#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "platform/Icons.h"
#include "platform/Platform.h"

TEST_F(AppTest, BeepGoesToTheHandler) {
  Platform::beep();
  Platform::beep();
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
}

TEST(Icons, LooksUpTheProjectsOwnIcons) {
  EXPECT_FALSE(Icons::get(QStringLiteral("waveform")).isNull());
  EXPECT_TRUE(Icons::get(QStringLiteral("no.such.symbol")).isNull());
}
