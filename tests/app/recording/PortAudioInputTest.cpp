// The input path on a real device through PortAudio; skipped where the machine has none.
#include <gtest/gtest.h>

#include <QTest>

#include "platform/PortAudioBackend.h"
#include "recording/InputEngine.h"

TEST(PortAudioInputTest, TheDefaultInputDeliversAudio) {
  const std::unique_ptr<PortAudioBackend> backend = PortAudioBackend::create();
  if (!backend || !backend->defaultInputDevice()) GTEST_SKIP() << "no audio input device";
  InputEngine engine(*backend);
  InputEngine::Format format;
  try {
    format = engine.prepare(std::nullopt);
  } catch (const std::exception& error) {
    GTEST_SKIP() << error.what();
  }
  auto buffer = std::make_shared<TakeBuffer>(std::vector<int>{0}, 1, format.sampleRate);
  buffer->beginCapture(std::nullopt);
  engine.start(buffer);
  EXPECT_TRUE(QTest::qWaitFor([&] { return buffer->captured() > 0; }, 5000));
  engine.stop();
  EXPECT_GT(buffer->endCapture()->frameCount(), 0);
}
