#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/SpectrumAnalyzer.h"
#include "dsp/TestSignals.h"

using namespace quar;

namespace {

std::vector<float> noise(int64_t frames, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> distribution(-0.5f, 0.5f);
  std::vector<float> result(static_cast<size_t>(frames));
  for (float& sample : result) sample = distribution(generator);
  return result;
}

} // namespace

TEST(SpectrumAnalyzer, FullScaleSineOnABinReadsZeroDBWithEveryWindow) {
  const int size = 4096, bin = 100;
  const double rate = 48000;
  const ArraySource sine({test::sine(48000, rate * bin / size, rate)}, rate);
  const ArraySource constant({std::vector<float>(48000, 1.0f)}, rate);
  for (WindowFunction window : allCases<WindowFunction>()) {
    SpectrumAnalyzer analyzer(size, window);
    EXPECT_NEAR(analyzer.spectrum(sine, 20000)[bin], 0, 0.01) << rawValue(window);
    EXPECT_NEAR(analyzer.averagedSpectrum(sine, std::nullopt, 16)[bin], 0, 0.01) << rawValue(window);
    EXPECT_NEAR(analyzer.spectrum(constant, 20000)[0], 0, 0.01) << rawValue(window);
  }
}

TEST(SpectrumAnalyzer, SilenceAndEmptyRangesReadTheFloor) {
  SpectrumAnalyzer analyzer(1024, WindowFunction::hann);
  const ArraySource silence({std::vector<float>(10000, 0.0f), std::vector<float>(10000, 0.0f)}, 44100);
  const std::vector<float> floor(513, SpectrumAnalyzer::floorDB);
  EXPECT_EQ(analyzer.spectrum(silence, 5000), floor);
  EXPECT_EQ(analyzer.averagedSpectrum(silence, std::nullopt, 8), floor);
  const ArraySource tone({test::sine(10000, 1000, 44100)}, 44100);
  EXPECT_EQ(analyzer.averagedSpectrum(tone, FrameRange{3000, 3000}, 8), floor);
  EXPECT_EQ(analyzer.averagedSpectrum(tone, FrameRange{20000, 30000}, 8), floor);
  // Far outside the source the frame is all zeros.
  EXPECT_EQ(analyzer.spectrum(tone, -5000), floor);
}

TEST(SpectrumAnalyzer, BinsAndFrequencies) {
  SpectrumAnalyzer analyzer(256, WindowFunction::blackmanHarris);
  EXPECT_EQ(analyzer.binCount(), 129);
  EXPECT_EQ(analyzer.frequency(analyzer.binCount() - 1, 44100), 22050);
  EXPECT_EQ(analyzer.frequency(1, 48000), 187.5);
}

TEST(SpectrumAnalyzer, PowerIsAveragedOverChannels) {
  const int size = 2048, bin = 64;
  const double rate = 44100;
  const std::vector<float> tone = test::sine(20000, rate * bin / size, rate);
  SpectrumAnalyzer analyzer(size, WindowFunction::hann);
  const ArraySource mono({tone}, rate);
  const ArraySource stereo({tone, std::vector<float>(tone.size(), 0.0f)}, rate);
  const std::vector<float> before = analyzer.spectrum(mono, 10000);
  EXPECT_NEAR(analyzer.spectrum(stereo, 10000)[bin], -10 * std::log10(2.0), 0.01);
  EXPECT_EQ(analyzer.spectrum(mono, 10000), before);
}

TEST(SpectrumAnalyzer, AveragedFramesAreSpreadOverTheRange) {
  // 256-point frames at a hop of 128: 1280 frames hold nine of them (starts 0, 128, ..., 1024).
  const int size = 256;
  const ArraySource source({noise(1280, 1), noise(1280, 2)}, 48000);
  SpectrumAnalyzer analyzer(size, WindowFunction::hann);
  const auto averageOf = [&](std::vector<int64_t> starts) {
    std::vector<double> power(static_cast<size_t>(analyzer.binCount()), 0.0);
    for (int64_t start : starts) {
      const std::vector<float> frame = analyzer.spectrum(source, start + size / 2);
      for (size_t k = 0; k < power.size(); ++k) power[k] += std::pow(10.0, frame[k] / 10) / static_cast<double>(starts.size());
    }
    std::vector<float> result;
    for (double p : power) result.push_back(static_cast<float>(10 * std::log10(p)));
    return result;
  };
  struct Case {
    int maxFrames;
    std::vector<int64_t> starts;
  } cases[] = {
      {3, {0, 512, 1024}},
      {2, {0, 1024}},
      {20, {0, 128, 256, 384, 512, 640, 768, 896, 1024}},
      {0, {512}},  // counts as 1: the middle frame
  };
  for (const Case& c : cases) {
    const std::vector<float> averaged = analyzer.averagedSpectrum(source, std::nullopt, c.maxFrames);
    const std::vector<float> expected = averageOf(c.starts);
    for (size_t k = 0; k < averaged.size(); ++k) EXPECT_NEAR(averaged[k], expected[k], 1e-3) << c.maxFrames << " bin " << k;
  }
  EXPECT_EQ(analyzer.averagedSpectrum(source, std::nullopt, 1), analyzer.spectrum(source, 512 + size / 2));
}

TEST(SpectrumAnalyzer, ShortRangesAreOneZeroPaddedFrame) {
  // Only the 300 frames of the range count; the loud noise after them reads as zero.
  const std::vector<float> tone = test::sine(300, 3000, 48000, 0.5);
  std::vector<float> samples = noise(5000, 3);
  std::copy(tone.begin(), tone.end(), samples.begin() + 1000);
  SpectrumAnalyzer analyzer(1024, WindowFunction::rectangular);
  const std::vector<float> inRange = analyzer.averagedSpectrum(ArraySource({samples}, 48000), FrameRange{1000, 1300}, 8);
  EXPECT_EQ(inRange, analyzer.averagedSpectrum(ArraySource({tone}, 48000), std::nullopt, 8));
}

TEST(SpectrumAnalyzerDeathTest, SizeMustBeAPowerOfTwoInRange) {
  for (int size : {128, 1000, 131072}) EXPECT_DEATH(SpectrumAnalyzer(size, WindowFunction::hann), "power of two") << size;
}
