#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/QuarError.h"
#include "document/ContentCollector.h"

namespace {

quar::AudioFileInfo format(int channels, double rate) {
  quar::AudioFileInfo info;
  info.channelCount = channels;
  info.sampleRate = rate;
  return info;
}

} // namespace

TEST(ContentCollector, BuildsTheContentOfTheLastFormat) {
  ContentCollector collector;
  const std::vector<float> left(100, 0.5f), right(100, -0.5f);
  const std::vector<std::span<const float>> chunk{left, right};
  collector.append(chunk);  // before any format: dropped
  collector.begin(format(2, 44100));
  collector.append(chunk);
  collector.append(chunk);
  const quar::AudioContent content = collector.finish();
  EXPECT_EQ(content.channelCount(), 2);
  EXPECT_EQ(content.sampleRate(), 44100);
  EXPECT_EQ(content.frameCount(), 200);
}

TEST(ContentCollector, WithoutAUsableStreamThereIsNoAudio) {
  for (const quar::AudioFileInfo& info : {format(0, 48000), format(-1, 48000), format(2, 0),
                                          format(2, std::numeric_limits<double>::quiet_NaN())}) {
    ContentCollector collector;
    collector.begin(info);
    try {
      collector.finish();
      ADD_FAILURE() << "no error for " << info.channelCount << " channels at " << info.sampleRate;
    } catch (const quar::QuarError& error) {
      EXPECT_EQ(error, quar::QuarError::decodeFailed("no audio stream"));
    }
  }
  ContentCollector neverStarted;
  EXPECT_THROW(neverStarted.finish(), quar::QuarError);
}
