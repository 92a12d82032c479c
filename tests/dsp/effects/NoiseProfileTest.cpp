#include "dsp/effects/NoiseProfile.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/ProcessorTestSupport.h"

namespace quar {
namespace {

TEST(NoiseProfileTest, LearningWhiteNoiseGivesItsVariancePerBin) {
  const double sigma = 0.1;
  const ArraySource source({fxtest::whiteNoise(96000, sigma, 4), fxtest::whiteNoise(96000, sigma, 5)}, 48000);
  const NoiseProfile profile = NoiseProfile::learn(source, std::nullopt, 2048);
  EXPECT_EQ(profile.fftSize, 2048);
  EXPECT_EQ(profile.sampleRate, 48000);
  ASSERT_EQ(profile.binPower.size(), 1025u);
  const double mean = std::accumulate(profile.binPower.begin(), profile.binPower.end(), 0.0) / 1025;
  EXPECT_NEAR(mean, sigma * sigma, 0.03 * sigma * sigma);
  for (size_t k = 1; k < 1024; ++k) EXPECT_NEAR(profile.binPower[k], sigma * sigma, 0.4 * sigma * sigma) << k;
}

TEST(NoiseProfileTest, LearningRoundsTheSizeAndZeroPadsShortRanges) {
  const std::vector<float> noise = fxtest::whiteNoise(10000, 0.2, 6);
  const ArraySource source({noise}, 44100);
  struct Case {
    int64_t requested;
    int64_t size;
  };
  for (const Case& c : {Case{1000, 1024}, Case{100, 256}, Case{0, 256}, Case{3000, 4096}, Case{1 << 20, 65536}}) {
    const NoiseProfile profile = NoiseProfile::learn(source, FrameRange(0, 0), c.requested);
    EXPECT_EQ(profile.fftSize, c.size) << c.requested;
    EXPECT_EQ(profile.sampleRate, 44100);
    EXPECT_EQ(profile.binPower, std::vector<float>(static_cast<size_t>(c.size / 2 + 1), 0.0f)) << c.requested;
  }
  // 100 frames of a range read like those frames followed by silence, whatever lies beyond.
  std::vector<float> padded(1024, 0.0f);
  std::copy_n(noise.begin() + 1000, 100, padded.begin());
  EXPECT_EQ(NoiseProfile::learn(source, FrameRange(1000, 1100), 1024),
            NoiseProfile::learn(ArraySource({padded}, 44100), std::nullopt, 1024));
  // Ranges reaching past the source are clamped to it.
  EXPECT_EQ(NoiseProfile::learn(source, FrameRange(9000, 20000), 1024),
            NoiseProfile::learn(source, FrameRange(9000, 10000), 1024));
}

} // namespace
} // namespace quar
