#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dsp/effects/processors/CompressorProcessor.h"
#include "dsp/effects/processors/PlanarAudio.h"

using namespace quar;
using quar::test::PlanarAudio;

namespace {

constexpr double rate = 48000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

PlanarAudio steady(int channels, size_t frames, float level) {
  return PlanarAudio::generate(channels, frames, [level](int, size_t) { return level; });
}

PlanarAudio noise(int channels, size_t frames) {
  uint32_t seed = 99;
  return PlanarAudio::generate(channels, frames, [&](int, size_t) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
  });
}

std::unique_ptr<CompressorProcessor> prepared(const CompressorSettings& settings, int channels = 2,
                                              int maxFrames = 512) {
  auto compressor = std::make_unique<CompressorProcessor>();
  compressor->apply(settings);
  compressor->prepare(rate, channels, maxFrames);
  return compressor;
}

} // namespace

TEST(CompressorProcessor, SettledGainOnASteadyLevel) {
  const auto with = [](auto change) {
    CompressorSettings settings;
    change(settings);
    return settings;
  };
  const struct {
    const char* name;
    CompressorSettings settings;
    float input, output, reductionDB;
  } cases[] = {
      {"defaults", {}, 1.0f, 0.211349f, 13.5f},
      {"automatic make-up", with([](auto& s) { s.autoMakeup = true; }), 1.0f, 0.459727f, 13.5f},
      {"manual make-up", with([](auto& s) { s.makeupGainDB = 6; }), 1.0f, 0.421696f, 13.5f},
      {"RMS detection", with([](auto& s) { s.detection = DetectionMode::rms; }), 1.0f, 0.211349f, 13.5f},
      {"mix 0.5 halves the gain change", with([](auto& s) { s.mix = 0.5; }), 1.0f, 0.6056745f, 13.5f},
      {"mix 0 passes the input", with([](auto& s) { s.mix = 0; }), 1.0f, 1.0f, 13.5f},
      {"mix above 1 counts as 1", with([](auto& s) { s.mix = 3; }), 1.0f, 0.211349f, 13.5f},
      {"ratio below 1 compresses nothing", with([](auto& s) { s.ratio = 0.5; }), 1.0f, 1.0f, 0.0f},
      // Settings beyond the editor's ranges are taken as they are.
      {"threshold above 0 dB", with([](auto& s) { s.thresholdDB = 6, s.ratio = 4, s.kneeDB = 0; }), 4.0f, 2.3741875f,
       4.5309f},
      {"threshold below -60 dB", with([](auto& s) { s.thresholdDB = -80, s.ratio = 2, s.kneeDB = 0; }), 1.0f, 0.01f,
       40.0f},
      {"ratio above 20", with([](auto& s) { s.thresholdDB = -20, s.ratio = 100, s.kneeDB = 0; }), 1.0f, 0.1023293f,
       19.8f},
      {"hard knee", with([](auto& s) { s.thresholdDB = -12, s.ratio = 3, s.kneeDB = 0; }), 0.5f, 0.3159779f,
       3.98627f},
      {"below the knee", {}, 0.05f, 0.05f, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto compressor = prepared(c.settings);
    PlanarAudio audio = steady(2, 48000, c.input);
    audio.process(*compressor, 512);
    for (int ch = 0; ch < 2; ++ch) EXPECT_NEAR(audio.channels[ch].back(), c.output, 2e-6);
    EXPECT_NEAR(compressor->gainReductionDB(), c.reductionDB, 1e-4);
  }
}

TEST(CompressorProcessor, MixZeroIsBitTransparent) {
  CompressorSettings settings;
  settings.mix = 0;
  auto compressor = prepared(settings);
  PlanarAudio audio = noise(2, 10000);
  const PlanarAudio input = audio;
  audio.process(*compressor, 512);
  EXPECT_EQ(audio.channels, input.channels);
}

TEST(CompressorProcessor, SilenceReadsTheDetectorFloor) {
  // The detector floor (−300 dB for peaks) keeps silence at exactly 0 without any reduction,
  // even at the lowest threshold and hardest curve: minus infinity would turn it into NaN.
  for (DetectionMode mode : allCases<DetectionMode>()) {
    SCOPED_TRACE(rawValue(mode));
    CompressorSettings settings;
    settings.thresholdDB = -60;
    settings.ratio = 20;
    settings.kneeDB = 24;
    settings.autoMakeup = true;
    settings.detection = mode;
    auto compressor = prepared(settings);
    PlanarAudio audio(2, 48000);
    audio.process(*compressor, 512);
    EXPECT_EQ(compressor->gainReductionDB(), 0.0f);
    for (const auto& channel : audio.channels)
      for (float v : channel) ASSERT_EQ(v, 0.0f);
  }
}

// Settings far beyond any use (a hand-edited preset) keep the output and the meter finite, also
// while a running processor glides from one extreme to the other: the static curve cannot
// overflow into NaN, and no make-up turns silence into NaN.
TEST(CompressorProcessor, ExtremeSettingsStayFinite) {
  const double big = 1e308;
  std::vector<CompressorSettings> extremes;
  for (double value : {big, -big, 0.0}) {
    for (double CompressorSettings::*field :
         {&CompressorSettings::thresholdDB, &CompressorSettings::ratio, &CompressorSettings::kneeDB,
          &CompressorSettings::attackMs, &CompressorSettings::releaseMs, &CompressorSettings::makeupGainDB}) {
      CompressorSettings settings;
      settings.*field = value;
      settings.autoMakeup = true;
      extremes.push_back(settings);
    }
  }
  CompressorSettings high, low;
  high.thresholdDB = high.ratio = high.kneeDB = high.attackMs = high.releaseMs = high.makeupGainDB = big;
  low.thresholdDB = low.ratio = low.kneeDB = low.attackMs = low.releaseMs = low.makeupGainDB = -big;
  extremes.push_back(high);
  extremes.push_back(low);
  const auto expectFinite = [](const PlanarAudio& audio, const CompressorProcessor& compressor) {
    for (const auto& channel : audio.channels)
      for (float v : channel) ASSERT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(compressor.gainReductionDB()));
  };
  for (size_t i = 0; i < extremes.size(); ++i) {
    SCOPED_TRACE(i);
    auto compressor = prepared(extremes[i]);
    PlanarAudio audio = noise(2, 4800);
    audio.process(*compressor, 512);
    expectFinite(audio, *compressor);
    PlanarAudio silence = steady(2, 4800, 0.0f);
    silence.process(*compressor, 512);
    expectFinite(silence, *compressor);
  }
  auto compressor = prepared(high);
  for (const CompressorSettings& settings : {low, high, low}) {
    compressor->apply(settings);
    PlanarAudio audio = noise(2, 4800);
    audio.process(*compressor, 512);
    expectFinite(audio, *compressor);
  }
}

// One NaN or infinite sample stops neither detector (at the RMS floor, or with a gain change of
// infinity minus infinity): compression goes on as if the sample had been silent.
TEST(CompressorProcessor, ANonFiniteSampleDoesNotStopTheDetector) {
  for (DetectionMode mode : allCases<DetectionMode>()) {
    CompressorSettings settings;
    settings.detection = mode;
    settings.thresholdDB = -30;
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
      SCOPED_TRACE(std::string(rawValue(mode)) + " " + std::to_string(bad));
      PlanarAudio poisoned = noise(2, 20000), silent = noise(2, 20000);
      poisoned.channels[0][1000] = bad;
      silent.channels[0][1000] = 0;
      auto a = prepared(settings), b = prepared(settings);
      poisoned.process(*a, 512);
      silent.process(*b, 512);
      for (int ch = 0; ch < 2; ++ch)
        for (size_t i = 1001; i < 20000; ++i)
          ASSERT_EQ(poisoned.channels[ch][i], silent.channels[ch][i]) << ch << " " << i;
      EXPECT_GT(a->gainReductionDB(), 1.0f);
    }
  }
}
TEST(CompressorProcessor, AttackAndReleaseTimes) {
  // The gain change covers 1 − 1/e of its way in one attack or release time.
  auto compressor = prepared({});
  PlanarAudio loud = steady(2, 480, 1.0f);
  loud.process(*compressor, 480);
  EXPECT_NEAR(compressor->gainReductionDB(), 13.5 * (1 - std::exp(-1.0)), 1e-3);

  PlanarAudio settle = steady(2, 48000, 1.0f);
  settle.process(*compressor, 512);
  PlanarAudio quiet(2, 5760);
  quiet.process(*compressor, 480);
  EXPECT_NEAR(compressor->gainReductionDB(), 13.5 * std::exp(-1.0), 1e-3);
}

TEST(CompressorProcessor, GainReductionReadsZeroAfterResetAndMoreAboveThreshold) {
  auto compressor = prepared({});
  const GainReductionMetering& meter = *compressor;
  EXPECT_EQ(meter.gainReductionDB(), 0.0f);
  PlanarAudio audio = steady(2, 4800, 0.5f);
  audio.process(*compressor, 512);
  float seenByMeter = 0;
  std::thread reader([&] { seenByMeter = meter.gainReductionDB(); });
  reader.join();
  EXPECT_GT(seenByMeter, 0.0f);
  EXPECT_EQ(seenByMeter, meter.gainReductionDB());
  compressor->reset();
  EXPECT_EQ(meter.gainReductionDB(), 0.0f);
  EXPECT_FALSE(std::signbit(meter.gainReductionDB()));
}

TEST(CompressorProcessor, LevelsAndMixGlide) {
  auto compressor = prepared({});
  PlanarAudio audio = steady(2, 48000 + 9600, 1.0f);
  audio.process(*compressor, 512, 0, 48000);
  CompressorSettings louder;
  louder.makeupGainDB = 6;
  louder.thresholdDB = -24;
  compressor->apply(louder);
  audio.process(*compressor, 512, 48000);
  const std::vector<float>& out = audio.channels[0];
  EXPECT_NEAR(out[48000], 0.211349f, 0.002f);
  for (size_t i = 48001; i < out.size(); ++i) ASSERT_LT(std::abs(out[i] - out[i - 1]), 0.001f) << i;
  // 200 ms are ten time constants: at the target, −18 dB + 6 dB = −12 dB.
  EXPECT_NEAR(out.back(), std::pow(10.0, -12.0 / 20), 1e-4);
  const float reached = out.back();
  PlanarAudio more = steady(2, 512, 1.0f);
  more.process(*compressor, 512);
  EXPECT_NEAR(more.channels[0].back(), reached, 1e-5);
}

TEST(CompressorProcessor, LinkedChannelsConvergeToOneGain) {
  CompressorSettings settings;
  settings.stereoLink = false;
  auto compressor = prepared(settings);
  const auto stereo = [](size_t frames) {
    return PlanarAudio::generate(2, frames, [](int ch, size_t) { return ch == 0 ? 1.0f : 0.1f; });
  };
  PlanarAudio unlinked = stereo(24000);
  unlinked.process(*compressor, 512);
  EXPECT_NEAR(unlinked.channels[0].back(), 0.211349f, 1e-5);
  EXPECT_NEAR(unlinked.channels[1].back() / 0.1f, 0.992830f, 1e-5);  // −20 dB inside the knee

  settings.stereoLink = true;
  compressor->apply(settings);
  PlanarAudio linked = stereo(48000);
  linked.process(*compressor, 512);
  EXPECT_NEAR(linked.channels[0].back(), 0.211349f, 1e-5);
  EXPECT_EQ(linked.channels[1].back(), 0.1f * linked.channels[0].back());
}

TEST(CompressorProcessor, ChannelsBeyondEightPassUntouched) {
  auto compressor = prepared({}, 10);
  PlanarAudio audio = PlanarAudio::generate(10, 4800, [](int, size_t i) { return i % 2 ? 0.9f : -0.9f; });
  const PlanarAudio input = audio;
  audio.process(*compressor, 512);
  for (int ch = 0; ch < 8; ++ch) EXPECT_LT(std::abs(audio.channels[ch].back()), 0.5f) << ch;
  EXPECT_EQ(audio.channels[8], input.channels[8]);
  EXPECT_EQ(audio.channels[9], input.channels[9]);
}

TEST(CompressorProcessor, NonFiniteFieldsTakeTheirDefaults) {
  CompressorSettings wild;
  wild.thresholdDB = kNaN;
  wild.ratio = std::numeric_limits<double>::infinity();
  wild.kneeDB = kNaN;
  wild.attackMs = kNaN;
  wild.releaseMs = -std::numeric_limits<double>::infinity();
  wild.makeupGainDB = kNaN;
  wild.mix = kNaN;

  auto reference = prepared({});
  PlanarAudio expected = noise(2, 20000);
  expected.process(*reference, 512);

  // Applied before prepare, and applied to a running processor (where it must not glide).
  auto before = prepared(wild);
  PlanarAudio a = noise(2, 20000);
  a.process(*before, 512);
  EXPECT_EQ(a.channels, expected.channels);

  auto running = prepared({});
  PlanarAudio b = noise(2, 20000);
  b.process(*running, 512, 0, 5120);
  running->apply(wild);
  b.process(*running, 512, 5120);
  EXPECT_EQ(b.channels, expected.channels);
  EXPECT_TRUE(std::isfinite(running->gainReductionDB()));
}

TEST(CompressorProcessor, OtherKindsAreIgnored) {
  auto reference = prepared({});
  auto compressor = prepared({});
  compressor->apply(ReverbSettings{});
  compressor->apply(GateSettings{});
  PlanarAudio a = noise(2, 5000), b = noise(2, 5000);
  a.process(*reference, 512);
  b.process(*compressor, 512);
  EXPECT_EQ(a.channels, b.channels);
  EXPECT_EQ(compressor->tailFrames(), 0);
  EXPECT_EQ(compressor->latencyFrames(), 0);
}
