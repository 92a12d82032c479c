#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "dsp/effects/processors/EQDesign.h"
#include "dsp/effects/processors/EQProcessor.h"
#include "dsp/effects/processors/PlanarAudio.h"

using namespace quar;
using quar::test::PlanarAudio;

namespace quar {

// Looks inside the equaliser's chunk machinery.
class EQProcessorProbe {
public:
  explicit EQProcessorProbe(EQProcessor& eq) : eq_(eq) {}

  bool isActive(int band) const {
    for (int a = 0; a < eq_.activeCount_; ++a)
      if (eq_.active_[a].slot == band * EQProcessor::sectionsPerBand) return true;
    return false;
  }
  bool isRunning(int band) const { return eq_.bands_[band].running; }
  bool isFlat(int band) const { return eq_.isFlat(band); }
  bool memoryIsClear(int band) const {
    const size_t channels = eq_.state_.size() / EQProcessor::statePerChannel;
    for (size_t ch = 0; ch < channels; ++ch)
      for (int k = 0; k < EQProcessor::sectionsPerBand * 2; ++k)
        if (eq_.state_[ch * EQProcessor::statePerChannel + band * EQProcessor::sectionsPerBand * 2 + k] != 0)
          return false;
    return true;
  }

  // process() with the chunk path forced; valid while nothing moves.
  void processOn(bool generalPath, PlanarAudio& audio) {
    std::vector<float*> pointers;
    for (auto& channel : audio.channels) pointers.push_back(channel.data());
    const int frames = static_cast<int>(audio.frames());
    for (int offset = 0; offset < frames;) {
      const int n = std::min(eq_.maxFrames_, frames - offset);
      EXPECT_FALSE(eq_.isMoving());
      eq_.updateChunk(n);
      if (generalPath)
        eq_.runGeneral(pointers.data(), audio.channelCount(), offset, n);
      else
        eq_.runSteady(pointers.data(), audio.channelCount(), offset, n);
      eq_.commitChunk();
      offset += n;
    }
  }

private:
  EQProcessor& eq_;
};

} // namespace quar

namespace {

constexpr double rate = 48000;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

EQSettings settingsOf(std::vector<EQBand> bands, double outputGainDB = 0) {
  return EQSettings(std::move(bands), outputGainDB);
}

// Pseudo-random noise in [-0.5, 0.5], the same for every run.
PlanarAudio noise(int channelCount, size_t frames) {
  uint32_t seed = 12345;
  return PlanarAudio::generate(channelCount, frames, [&](int, size_t) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
  });
}

// A mixed setting: every band type, a four-section cut and an output gain.
EQSettings mixedSettings() {
  using enum EQBandType;
  return settingsOf({EQBand(lowCut, 40, 0, 0.707, 48, true), EQBand(lowShelf, 120, 4, 0.707, 12, true),
                     EQBand(peak, 450, -6, 2, 12, true), EQBand(notch, 3000, 0, 8, 12, true),
                     EQBand(peak, 2500, 3, 0.7, 12, true), EQBand(highShelf, 8000, -4, 0.707, 12, true),
                     EQBand(highCut, 16000, 0, 1.2, 24, true)},
                    -3);
}

// Response in dB of designed sections, evaluated on the unit circle.
double directResponseDB(const BiquadCascade4& cascade, double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
  double dB = 0;
  for (int s = 0; s < cascade.count; ++s) {
    const BiquadCoefficients& c = cascade.sections[s];
    dB += 20 * std::log10(std::abs((c.b0 + c.b1 * z1 + c.b2 * z1 * z1) / (1.0 + c.a1 * z1 + c.a2 * z1 * z1)));
  }
  return dB;
}

// The designed cascades of `settings`, run sample by sample in direct form I.
std::vector<float> referenceRun(const EQSettings& settings, const std::vector<float>& input) {
  std::vector<double> x(input.begin(), input.end());
  for (const EQBand& band : settings.bands) {
    if (!band.isEnabled) continue;
    const BiquadCascade4 cascade =
        EQDesign::band(band.type, band.frequency, band.gainDB, band.q, band.slopeDBPerOctave, rate);
    for (int s = 0; s < cascade.count; ++s) {
      const BiquadCoefficients& c = cascade.sections[s];
      double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
      for (double& v : x) {
        const double y = c.b0 * v + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1, x1 = v, y2 = y1, y1 = y, v = y;
      }
    }
  }
  const double gain = std::pow(10.0, settings.outputGainDB / 20);
  std::vector<float> out;
  for (double v : x) out.push_back(static_cast<float>(v * gain));
  return out;
}

} // namespace

TEST(EQDesign, CutSlopesRoundToSectionCounts) {
  const struct {
    int64_t slope;
    int sections;
  } cases[] = {{0, 1}, {-24, 1}, {6, 1}, {12, 1}, {18, 2}, {24, 2}, {30, 3}, {36, 3}, {48, 4}, {60, 4}, {96, 4}};
  for (const auto& c : cases) {
    EXPECT_EQ(EQDesign::cutSections(c.slope), c.sections) << c.slope;
    for (EQBandType type : {EQBandType::lowCut, EQBandType::highCut})
      EXPECT_EQ(EQDesign::band(type, 1000, 0, 0.707, c.slope, rate).count, c.sections) << c.slope;
  }
  EXPECT_EQ(EQDesign::band(EQBandType::peak, 1000, 3, 1, 48, rate).count, 1);
}

TEST(EQDesign, LimitsItsParameters) {
  using enum EQBandType;
  const struct {
    BiquadCascade4 given, expected;
  } cases[] = {
      {EQDesign::band(peak, 30000, 6, 1, 12, rate), EQDesign::band(peak, 0.49 * rate, 6, 1, 12, rate)},
      {EQDesign::band(highCut, 1e9, 0, 1, 24, rate), EQDesign::band(highCut, 0.49 * rate, 0, 1, 24, rate)},
      {EQDesign::band(lowShelf, 1, 6, 1, 12, rate), EQDesign::band(lowShelf, 5, 6, 1, 12, rate)},
      {EQDesign::band(peak, 1000, 90, 1, 12, rate), EQDesign::band(peak, 1000, 48, 1, 12, rate)},
      {EQDesign::band(peak, 1000, -90, 1, 12, rate), EQDesign::band(peak, 1000, -48, 1, 12, rate)},
      {EQDesign::band(peak, 1000, 6, 0.001, 12, rate), EQDesign::band(peak, 1000, 6, 0.025, 12, rate)},
      {EQDesign::band(peak, 1000, 6, 500, 12, rate), EQDesign::band(peak, 1000, 6, 40, 12, rate)},
      {EQDesign::band(peak, kNaN, kNaN, kNaN, 12, rate), EQDesign::band(peak, 1000, 0, 0.707, 12, rate)},
      {EQDesign::band(highShelf, INFINITY, -INFINITY, INFINITY, 12, rate),
       EQDesign::band(highShelf, 1000, 0, 0.707, 12, rate)},
      {EQDesign::band(notch, 1000, 12, 4, 12, rate), EQDesign::band(notch, 1000, -12, 4, 12, rate)},
      {EQDesign::band(lowCut, 1000, 12, 0.707, 12, rate), EQDesign::band(lowCut, 1000, 0, 0.707, 12, rate)},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].given, cases[i].expected) << i;

  // Sections beyond the count are identity; a 0 dB peak is flat.
  const BiquadCascade4 two = EQDesign::band(highCut, 1000, 0, 0.707, 24, rate);
  EXPECT_EQ(two.sections[2], BiquadCoefficients{});
  EXPECT_EQ(two.sections[3], BiquadCoefficients{});
  EXPECT_TRUE(EQDesign::isFlat(EQDesign::band(peak, 1000, 0, 1, 12, rate).sections[0]));
  EXPECT_FALSE(EQDesign::isFlat(EQDesign::band(peak, 1000, 0.5, 1, 12, rate).sections[0]));
}

TEST(EQSettingsResponse, KnownValues) {
  using enum EQBandType;
  const struct {
    EQBand band;
    double hz, expectedDB, tolerance;
  } cases[] = {
      {EQBand(peak, 1000, 6, 1, 12, true), 1000, 6.0, 1e-9},
      {EQBand(peak, 1000, -9, 3, 12, true), 1000, -9.0, 1e-9},
      {EQBand(highCut, 1000, 0, 0.707, 12, true), 1000, 20 * std::log10(0.707), 1e-9},
      {EQBand(lowCut, 1000, 0, 0.707, 12, true), 1000, 20 * std::log10(0.707), 1e-9},
      {EQBand(highCut, 1000, 0, 0.707, 12, true), 20, 0.0, 1e-3},
      // Eighth-order Butterworth one octave from the corner (the bilinear design steepens
      // towards Nyquist, so the high cut is a little deeper).
      {EQBand(highCut, 1000, 0, 0.707, 48, true), 2000, -48.2, 0.3},
      {EQBand(lowCut, 1000, 0, 0.707, 48, true), 500, -48.2, 0.05},
      {EQBand(lowShelf, 200, 6, 0.707, 12, true), 10, 6.0, 1e-3},
      {EQBand(highShelf, 2000, -6, 0.707, 12, true), 20000, -6.0, 0.05},
      {EQBand(notch, 1000, 0, 1, 12, true), 20, 0.0, 0.01},
      {EQBand(notch, 1000, 0, 1, 12, true), 900, -13.678, 0.001},
  };
  for (const auto& c : cases) {
    const std::vector<double> dB = settingsOf({c.band}).responseDB(std::vector<double>{c.hz}, rate);
    ASSERT_EQ(dB.size(), 1u);
    EXPECT_NEAR(dB[0], c.expectedDB, c.tolerance) << rawValue(c.band.type) << " at " << c.hz;
  }
  EXPECT_NEAR(settingsOf({EQBand(highCut, 1000, 0, 0.707, 12, true)}).responseDB(std::vector<double>{1000}, rate)[0],
              -3.01, 0.005);
}

TEST(EQSettingsResponse, AgreesWithTheDesignedSections) {
  const EQSettings settings = mixedSettings();
  std::vector<double> frequencies;
  for (double hz = 20; hz < 23000; hz *= 1.37) frequencies.push_back(hz);
  const std::vector<double> dB = settings.responseDB(frequencies, rate);
  ASSERT_EQ(dB.size(), frequencies.size());
  for (size_t i = 0; i < frequencies.size(); ++i) {
    double expected = settings.outputGainDB;
    for (const EQBand& b : settings.bands)
      expected += directResponseDB(EQDesign::band(b.type, b.frequency, b.gainDB, b.q, b.slopeDBPerOctave, rate),
                                   frequencies[i]);
    EXPECT_NEAR(dB[i], expected, 1e-6) << frequencies[i];
  }
}

TEST(EQSettingsResponse, WithoutSoundingBandsIsTheOutputGain) {
  using enum EQBandType;
  const std::vector<double> frequencies{20, 1000, 20000};
  const struct {
    EQSettings settings;
    double expectedDB;
  } cases[] = {
      {settingsOf({}, 0), 0},
      {settingsOf({}, -7.5), -7.5},
      {settingsOf({}, 60), 48},
      {settingsOf({}, -60), -48},
      {settingsOf({}, kNaN), 0},
      // Disabled and flat bands are skipped.
      {settingsOf({EQBand(peak, 1000, 12, 1, 12, false), EQBand(peak, 1000, 0, 1, 12, true),
                   EQBand(lowShelf, 100, 0, 0.707, 12, true)},
                  2),
       2},
  };
  for (const auto& c : cases)
    for (double dB : c.settings.responseDB(frequencies, rate)) EXPECT_EQ(dB, c.expectedDB);
  EXPECT_TRUE(mixedSettings().responseDB({}, rate).empty());

  // A rate of 0 means 48000; bands after the eighth are ignored.
  const EQSettings mixed = mixedSettings();
  EXPECT_EQ(mixed.responseDB(frequencies, 0), mixed.responseDB(frequencies, rate));
  EQSettings nine = mixed;
  nine.bands.push_back(EQBand(peak, 1000, 12, 1, 12, false));
  nine.bands.push_back(EQBand(peak, 1000, 12, 1, 12, true));
  EXPECT_EQ(nine.responseDB(frequencies, rate), mixed.responseDB(frequencies, rate));
}

TEST(EQProcessor, SteadyStateEqualsTheDesignedCascade) {
  const EQSettings settings = mixedSettings();
  EQProcessor eq;
  eq.apply(settings);
  eq.prepare(rate, 3, 512);
  PlanarAudio audio = noise(3, 20000);
  const PlanarAudio input = audio;
  audio.process(eq, 300);  // blocks shorter than maxFrames, so chunks end mid-block
  for (int c = 0; c < 3; ++c) {
    const std::vector<float> expected = referenceRun(settings, input.channels[c]);
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(audio.channels[c][i], expected[i], 1e-6) << c << ":" << i;
  }
  EXPECT_EQ(eq.tailFrames(), 0);
  EXPECT_EQ(eq.latencyFrames(), 0);
}

TEST(EQProcessor, TwoChannelPathEqualsGeneralPath) {
  for (int channels : {1, 2, 3, 4}) {
    SCOPED_TRACE(channels);
    EQProcessor general, steady;
    for (EQProcessor* eq : {&general, &steady}) {
      eq->apply(mixedSettings());
      eq->prepare(rate, channels, 256);
    }
    PlanarAudio a = noise(channels, 3000);
    PlanarAudio b = a;
    EQProcessorProbe(general).processOn(true, a);
    EQProcessorProbe(steady).processOn(false, b);
    EXPECT_EQ(a.channels, b.channels);
  }
}

TEST(EQProcessor, MeasuredResponseMatchesResponseDB) {
  using enum EQBandType;
  const EQSettings settings = settingsOf(
      {EQBand(lowCut, 30, 0, 0.707, 24, true), EQBand(lowShelf, 100, 4, 0.707, 24, true),
       EQBand(peak, 400, -6, 2, 24, true), EQBand(peak, 2500, 3, 1, 24, true),
       EQBand(highShelf, 8000, -4, 0.707, 24, true), EQBand(highCut, 18000, 0, 0.707, 12, true)},
      -1);
  const std::vector<double> frequencies{40, 100, 250, 400, 1000, 2500, 5000, 8000, 12000, 17000, 20000};
  const std::vector<double> expected = settings.responseDB(frequencies, rate);
  for (size_t k = 0; k < frequencies.size(); ++k) {
    const double hz = frequencies[k];
    const auto tone = [hz](size_t i) { return 0.25 * std::sin(2 * std::numbers::pi * hz * i / rate); };
    EQProcessor eq;
    eq.apply(settings);
    eq.prepare(rate, 1, 512);
    PlanarAudio audio = PlanarAudio::generate(1, 72000, [&](int, size_t i) { return float(tone(i)); });
    audio.process(eq, 512);
    // Amplitude over the last second (whole periods) by correlation with sine and cosine.
    double s = 0, c = 0;
    for (size_t i = 24000; i < 72000; ++i) {
      const double phase = 2 * std::numbers::pi * hz * i / rate;
      s += audio.channels[0][i] * std::sin(phase);
      c += audio.channels[0][i] * std::cos(phase);
    }
    const double amplitude = 2 * std::hypot(s, c) / 48000;
    EXPECT_NEAR(20 * std::log10(amplitude / 0.25), expected[k], 0.05) << hz;
  }
}

TEST(EQProcessor, SwitchingABandOffCrossFadesThenClearsItsMemory) {
  EQSettings settings = settingsOf({EQBand(EQBandType::peak, 1000, 12, 1, 12, true)});
  EQProcessor eq;
  EQProcessorProbe probe(eq);
  eq.apply(settings);
  eq.prepare(rate, 2, 512);
  PlanarAudio audio = noise(2, 24000);
  const PlanarAudio input = audio;
  audio.process(eq, 512, 0, 12000);
  ASSERT_TRUE(probe.isActive(0));

  settings.bands[0].isEnabled = false;
  eq.apply(settings);
  audio.process(eq, 512, 12000);
  for (int c = 0; c < 2; ++c) {
    size_t lastChanged = 0;
    for (size_t i = 12000; i < 24000; ++i)
      if (audio.channels[c][i] != input.channels[c][i]) lastChanged = i - 12000;
    // The fade lasts 20 ms (960 frames); afterwards the input passes bit for bit.
    EXPECT_GE(lastChanged, 900u);
    EXPECT_LT(lastChanged, 960u);
  }
  EXPECT_FALSE(probe.isRunning(0));
  EXPECT_TRUE(probe.memoryIsClear(0));

  // Switched on again, it fades in over 20 ms from a clear memory.
  settings.bands[0].isEnabled = true;
  eq.apply(settings);
  PlanarAudio again = noise(2, 2000);
  const PlanarAudio dry = again;
  again.process(eq, 512);
  EXPECT_NEAR(again.channels[0][0], dry.channels[0][0], 0.01);
  EXPECT_TRUE(probe.isActive(0));
}

TEST(EQProcessor, AFlatBandStopsRunning250msLater) {
  EQSettings settings = settingsOf({EQBand(EQBandType::peak, 1000, 6, 1, 12, true)});
  EQProcessor eq;
  EQProcessorProbe probe(eq);
  eq.apply(settings);
  eq.prepare(rate, 1, 32);
  PlanarAudio audio = noise(1, 48000);
  audio.process(eq, 32, 0, 4800);
  settings.bands[0].gainDB = 0;
  eq.apply(settings);

  std::optional<size_t> flatAt, stoppedAt;
  for (size_t offset = 4800; offset < 48000 && !stoppedAt; offset += 32) {
    audio.process(eq, 32, offset, offset + 32);
    if (!flatAt && probe.isFlat(0)) flatAt = offset;
    if (flatAt && !probe.isActive(0)) stoppedAt = offset;
  }
  ASSERT_TRUE(flatAt && stoppedAt);
  EXPECT_EQ(*stoppedAt - *flatAt, 12000u);  // 250 ms
  EXPECT_TRUE(probe.isRunning(0));
  EXPECT_TRUE(probe.memoryIsClear(0));
}

TEST(EQProcessor, ParameterChangesGlide) {
  // Output gain: a smooth, monotonic move from 0 dB to −12 dB.
  EQProcessor eq;
  eq.apply(settingsOf({}));
  eq.prepare(rate, 1, 512);
  PlanarAudio audio = PlanarAudio::generate(1, 24000, [](int, size_t) { return 0.5f; });
  eq.apply(settingsOf({}, -12));
  audio.process(eq, 512);
  const std::vector<float>& out = audio.channels[0];
  EXPECT_GT(out[0], 0.49f);
  for (size_t i = 1; i < out.size(); ++i) {
    ASSERT_LE(out[i], out[i - 1]) << i;
    ASSERT_LT(out[i - 1] - out[i], 0.001f) << i;
  }
  EXPECT_EQ(out.back(), static_cast<float>(0.5 * std::pow(10.0, -12.0 / 20)));

  // Band gain: the first chunk stays close to the old sound, and the glide ends on the new one.
  EQSettings settings = settingsOf({EQBand(EQBandType::peak, 1000, 0, 1, 12, true)});
  EQProcessor band;
  band.apply(settings);
  band.prepare(rate, 1, 512);
  PlanarAudio tone = PlanarAudio::generate(1, 48000, [](int, size_t i) {
    return float(0.25 * std::sin(2 * std::numbers::pi * 1000 * i / rate));
  });
  const PlanarAudio input = tone;
  settings.bands[0].gainDB = 12;
  band.apply(settings);
  tone.process(band, 512);
  for (size_t i = 0; i < 32; ++i) EXPECT_NEAR(tone.channels[0][i], input.channels[0][i], 0.02) << i;
  EQProcessor target;
  target.apply(settings);
  target.prepare(rate, 1, 512);
  PlanarAudio reference = input;
  reference.process(target, 512);
  for (size_t i = 38000; i < 48000; ++i) ASSERT_NEAR(tone.channels[0][i], reference.channels[0][i], 1e-5) << i;
}

TEST(EQProcessor, ResetJumpsToTheTargetsAndOtherKindsAreIgnored) {
  const EQSettings settings = mixedSettings();
  EQProcessor fresh;
  fresh.apply(settings);
  fresh.prepare(rate, 2, 256);
  PlanarAudio expected = noise(2, 4000);
  expected.process(fresh, 256);

  EQProcessor reused;  // default bands, then new settings and a reset mid-stream
  reused.prepare(rate, 2, 256);
  PlanarAudio warmup = noise(2, 1000);
  warmup.process(reused, 256);
  reused.apply(settings);
  reused.apply(CompressorSettings{});
  reused.reset();
  PlanarAudio audio = noise(2, 4000);
  audio.process(reused, 256);
  EXPECT_EQ(audio.channels, expected.channels);
}

TEST(EQProcessor, NonFiniteSettingsGiveFiniteOutput) {
  using enum EQBandType;
  EQSettings wild = settingsOf({EQBand(peak, kNaN, kNaN, kNaN, 12, true), EQBand(highCut, INFINITY, 0, kNaN, 48, true),
                                EQBand(lowShelf, -INFINITY, INFINITY, 0, 12, true), EQBand(lowCut, 0, 0, -1, -7, true)},
                               kNaN);
  EQProcessor eq;
  eq.prepare(rate, 2, 256);
  PlanarAudio audio = noise(2, 4000);
  audio.process(eq, 256, 0, 1000);
  eq.apply(wild);
  audio.process(eq, 256, 1000, 3000);
  eq.reset();
  audio.process(eq, 256, 3000);
  for (const auto& channel : audio.channels)
    for (float v : channel) ASSERT_TRUE(std::isfinite(v));
  for (double dB : wild.responseDB(std::vector<double>{50, 1000, 10000}, rate)) EXPECT_TRUE(std::isfinite(dB));
}

// A NaN or infinity passes through unchanged and enters the filters as silence, on the steady
// path and while bands and the output gain glide (the general path): every other sample is what
// the same audio with 0 in its place gives.
TEST(EQProcessor, ANonFiniteSamplePassesThroughAndLeavesTheFiltersClean) {
  constexpr float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
  for (bool gliding : {false, true}) {
    SCOPED_TRACE(gliding ? "gliding" : "steady");
    PlanarAudio dirty = noise(3, 6000);
    dirty.channels[0][0] = bad[0];
    dirty.channels[1][1000] = bad[1];
    dirty.channels[2][1001] = bad[2];
    PlanarAudio clean = dirty;
    clean.channels[0][0] = clean.channels[1][1000] = clean.channels[2][1001] = 0;
    for (PlanarAudio* audio : {&dirty, &clean}) {
      EQProcessor eq;
      eq.apply(mixedSettings());
      eq.prepare(rate, 3, 512);
      if (gliding) eq.apply(settingsOf({EQBand(EQBandType::peak, 2000, 9, 1, 12, true)}, 4));
      audio->process(eq, 512);
    }
    EXPECT_TRUE(std::isnan(dirty.channels[0][0]));
    EXPECT_EQ(dirty.channels[1][1000], bad[1]);
    EXPECT_EQ(dirty.channels[2][1001], bad[2]);
    dirty.channels[0][0] = dirty.channels[1][1000] = dirty.channels[2][1001] = 0;
    clean.channels[0][0] = clean.channels[1][1000] = clean.channels[2][1001] = 0;
    EXPECT_EQ(dirty.channels, clean.channels);
  }
}
