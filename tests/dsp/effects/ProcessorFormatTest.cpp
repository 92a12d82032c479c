#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/EffectFactory.h"
#include "dsp/effects/ProcessorTestSupport.h"
#include "support/AllocationCounting.h"

namespace quar {
namespace {

struct Format {
  double rate;
  int channels;
  int maxFrames;
  int block;  // block size used while processing
};

// Busy settings of every kind, so each processor's inner paths run.
std::vector<EffectSettings> busySettings() {
  std::vector<EffectSettings> all;
  for (EffectKind kind : allCases<EffectKind>()) all.push_back(defaultSettings(kind));
  CompressorSettings compressor;
  compressor.thresholdDB = -30;
  compressor.detection = DetectionMode::rms;
  all.push_back(compressor);
  DistortionSettings crusher;
  crusher.mode = SaturationMode::bitcrush;
  all.push_back(crusher);
  DelaySettings pingPong;
  pingPong.pingPong = true;
  pingPong.feedback = 0.9;
  all.push_back(pingPong);
  ChorusSettings flanger;
  flanger.mode = ModulationMode::flanger;
  all.push_back(flanger);
  NoiseReductionSettings reduction;
  reduction.profile = NoiseProfile::learn(ArraySource({fxtest::whiteNoise(8192, 0.1, 7)}, 48000), std::nullopt, 2048);
  all.push_back(reduction);
  return all;
}

TEST(ProcessorFormatTest, UnusualFormatsGiveFiniteOutput) {
  const Format formats[] = {{44100, 2, 512, 512}, {8000, 1, 1, 1}, {192000, 10, 4096, 4096}, {48000, 3, 64, 7}};
  for (const EffectSettings& settings : busySettings()) {
    SCOPED_TRACE(rawValue(kind(settings)));
    auto processor = EffectFactory::makeProcessor(settings);
    for (const Format& format : formats) {
      SCOPED_TRACE(format.rate);
      processor->prepare(format.rate, format.channels, format.maxFrames);
      fxtest::Planar audio(static_cast<size_t>(format.channels));
      for (size_t c = 0; c < audio.size(); ++c) audio[c] = fxtest::whiteNoise(6000, 0.5, static_cast<unsigned>(c + 1));
      fxtest::run(*processor, audio, {format.block});
      processor->apply(settings);
      // Fewer channels than prepared.
      fxtest::Planar mono{audio.front()};
      fxtest::run(*processor, mono, {format.block});
      for (const auto& channel : audio)
        for (float sample : channel) ASSERT_TRUE(std::isfinite(sample));
      for (float sample : mono.front()) ASSERT_TRUE(std::isfinite(sample));
    }
  }
}

// The real-time claim: once prepared, apply (of settings the processor has seen), process and
// reset allocate nothing.
TEST(ProcessorFormatTest, ApplyProcessAndResetAllocateNothing) {
  for (const EffectSettings& settings : busySettings()) {
    SCOPED_TRACE(rawValue(kind(settings)));
    auto processor = EffectFactory::makeProcessor(settings);
    const EffectSettings other = defaultSettings(kind(settings));
    processor->apply(other);
    processor->apply(settings);
    processor->prepare(48000, 3, 512);
    fxtest::Planar audio(3);
    for (size_t c = 0; c < audio.size(); ++c) audio[c] = fxtest::whiteNoise(20000, 0.5, static_cast<unsigned>(c + 1));
    std::vector<float*> pointers(audio.size());
    // Blocks of `frames` frames from `start` on (the runner itself must not allocate).
    const auto run = [&](int64_t start, int frames, int blocks) {
      for (int b = 0; b < blocks; ++b) {
        for (size_t c = 0; c < audio.size(); ++c) pointers[c] = audio[c].data() + start + int64_t{b} * frames;
        processor->process(pointers.data(), 3, frames);
      }
    };
    const int64_t allocations = testing::allocationsDuring([&] {
      run(0, 512, 8);
      run(4096, 1, 50);
      run(4146, 77, 10);
      processor->apply(other);
      run(6000, 512, 8);
      processor->apply(settings);
      run(10096, 300, 12);
      processor->reset();
      run(14000, 512, 10);
    });
    EXPECT_EQ(allocations, 0);
  }
}

// Every processor takes any sample rate by one rule (preparedSampleRate): a header saying 1 Hz
// or 2^31 Hz must not stop the program, and rates that are no rate act as 48 kHz.
TEST(ProcessorFormatTest, AnySampleRateIsTakenByOneRule) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double rate;
    double actsAs;
  } rates[] = {{1, 1},           {0.5, 1},         {1e-300, 1},  {0x1p31, 768000}, {1e300, 768000},
               {768000, 768000}, {0, 48000},       {-1, 48000},  {inf, 48000},     {-inf, 48000},
               {std::numeric_limits<double>::quiet_NaN(), 48000}};
  const auto render = [](const EffectSettings& settings, double rate) {
    auto processor = EffectFactory::makeProcessor(settings);
    processor->prepare(rate, 2, 512);
    fxtest::Planar audio{fxtest::whiteNoise(4096, 0.5, 1), fxtest::whiteNoise(4096, 0.5, 2)};
    fxtest::run(*processor, audio, {512});
    return audio;
  };
  for (const EffectSettings& settings : busySettings()) {
    SCOPED_TRACE(rawValue(kind(settings)));
    for (const auto& r : rates) {
      SCOPED_TRACE(r.rate);
      EXPECT_EQ(preparedSampleRate(r.rate), r.actsAs);
      const fxtest::Planar audio = render(settings, r.rate);
      for (const auto& channel : audio)
        for (float sample : channel) ASSERT_TRUE(std::isfinite(sample));
      if (r.rate != r.actsAs) {
        EXPECT_EQ(audio, render(settings, r.actsAs));
      }
    }
  }
}

} // namespace
} // namespace quar
