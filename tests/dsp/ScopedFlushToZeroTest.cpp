#include <gtest/gtest.h>

#include <thread>

#include "dsp/ScopedFlushToZero.h"

using namespace quar;

TEST(ScopedFlushToZero, FlushesWhileAliveAndRestoresTheMode) {
  std::thread([] {
    volatile float tiny = 1e-30f;
    ASSERT_FALSE(ScopedFlushToZero::isEnabled());
    EXPECT_GT(tiny * 1e-10f, 0.0f);  // a denormal result
    {
      ScopedFlushToZero flush;
      EXPECT_TRUE(ScopedFlushToZero::isEnabled());
      EXPECT_EQ(tiny * 1e-10f, 0.0f);
      volatile float denormal = 1e-40f;
      EXPECT_EQ(denormal * 1.0f, 0.0f);  // denormal inputs read as zero
      {
        ScopedFlushToZero nested;
      }
      EXPECT_TRUE(ScopedFlushToZero::isEnabled());
    }
    EXPECT_FALSE(ScopedFlushToZero::isEnabled());
    EXPECT_GT(tiny * 1e-10f, 0.0f);
    ScopedFlushToZero::enableForCurrentThread();
    EXPECT_TRUE(ScopedFlushToZero::isEnabled());
  }).join();
}
