#include "io/EncodePipeline.h"

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "CollectingSink.h"
#include "base/QuarError.h"

namespace quar {
namespace {

using test::CollectingSink;
using test::viewsOf;

std::vector<int32_t> quantizeValues(int bits, const std::vector<float>& samples, bool dither = false) {
  Quantizer quantizer{bits, dither};
  std::vector<uint8_t> bytes(samples.size() * static_cast<size_t>(quantizer.bytesPerSample()));
  const std::vector<std::span<const float>> views{samples};
  quantizer.quantize(views, bytes);
  std::vector<int32_t> values;
  const int width = quantizer.bytesPerSample();
  for (size_t i = 0; i < samples.size(); ++i) {
    uint32_t raw = 0;
    for (int b = 0; b < width; ++b) raw |= uint32_t{bytes[i * width + b]} << (8 * b);
    raw <<= 32 - bits;  // sign-extend through the top bits
    values.push_back(static_cast<int32_t>(raw) >> (32 - bits));
  }
  return values;
}

TEST(QuantizerTest, ScalesRoundsTiesToEvenAndClips) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    int bits;
    float sample;
    int32_t expected;
  };
  const Case cases[] = {
      {16, 1.0f, 32767},         {16, -1.0f, -32768},       {16, 0.5f, 16384},
      {16, nan, 0},              {16, 1.5f, 32767},         {16, -1.5f, -32768},
      {16, inf, 32767},          {16, -inf, -32768},        {16, 2.5f / 32768, 2},
      {16, 3.5f / 32768, 4},     {16, -2.5f / 32768, -2},   {16, 2.6f / 32768, 3},
      {24, 1.0f, 8388607},       {24, -1.0f, -8388608},     {24, 0.25f, 2097152},
      {32, 1.0f, 2147483647},    {32, -1.0f, std::numeric_limits<int32_t>::min()},
      {32, 0.5f, 1073741824},    {32, nan, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(quantizeValues(c.bits, {c.sample}).front(), c.expected) << c.bits << " bits, sample " << c.sample;
}

TEST(QuantizerTest, WritesLittleEndianInterleavedBytes) {
  const std::vector<std::vector<float>> stereo{{-1.0f, 0.0f}, {0.5f, 1.0f / 8388608}};
  Quantizer quantizer{24, false};
  std::vector<uint8_t> bytes(12, 0xEE);
  quantizer.quantize(viewsOf(stereo), bytes);
  // Frame 0: L = -1.0 -> 00 00 80, R = 0.5 -> 00 00 40; frame 1: L = 0, R = 1 LSB.
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}));

  Quantizer sixteen{16, false};
  std::vector<uint8_t> small(4);
  sixteen.quantize(viewsOf({{-1.0f, 0.5f}}), small);
  EXPECT_EQ(small, (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x40}));
}

TEST(QuantizerTest, WritesNothingWithoutFrames) {
  Quantizer quantizer{16, true};
  std::vector<uint8_t> bytes(4, 0xEE);
  quantizer.quantize({}, bytes);
  const std::vector<std::vector<float>> empty{{}, {}};
  quantizer.quantize(viewsOf(empty), bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>(4, 0xEE)));
  EXPECT_EQ(quantizer.rng, Quantizer::defaultSeed);
}

std::vector<float> ramp(size_t count) {
  std::vector<float> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = 0.9f * std::sin(0.01f * static_cast<float>(i));
  return samples;
}

TEST(QuantizerTest, DitherIsReproducibleAndWithinOneStep) {
  const std::vector<float> samples = ramp(4000);
  for (int bits : {16, 24}) {
    const auto plain = quantizeValues(bits, samples);
    const auto first = quantizeValues(bits, samples, true);
    EXPECT_EQ(first, quantizeValues(bits, samples, true)) << bits;
    EXPECT_NE(first, plain) << bits;
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_LE(std::abs(first[i] - plain[i]), 1) << bits << " at " << i;
  }
}

// Samples exactly on a step of the target depth keep their value under dither; the others are
// dithered with the same draws as always, since the generator advances for every sample.
TEST(QuantizerTest, DitherLeavesSamplesThatAreOnAStepAlone) {
  for (int bits : {16, 24}) {
    SCOPED_TRACE(bits);
    const float step = std::ldexp(1.0f, 1 - bits);
    std::vector<float> exact, mixed, offStep;
    for (int i = 0; i < 4000; ++i) {
      const float onStep = static_cast<float>(i % 701 - 350) * step;
      exact.push_back(onStep);
      offStep.push_back(onStep + 0.37f * step);
      mixed.push_back(i % 3 == 0 ? onStep : offStep.back());
    }
    const auto plain = quantizeValues(bits, exact);
    EXPECT_EQ(quantizeValues(bits, exact, true), plain);
    const auto dithered = quantizeValues(bits, offStep, true);
    EXPECT_NE(dithered, quantizeValues(bits, offStep));
    const auto both = quantizeValues(bits, mixed, true);
    for (size_t i = 0; i < both.size(); ++i) ASSERT_EQ(both[i], i % 3 == 0 ? plain[i] : dithered[i]) << i;

    Quantizer a{bits, true}, b{bits, true};
    std::vector<uint8_t> bytes(exact.size() * 4);
    a.quantize(std::vector<std::span<const float>>{exact}, bytes);
    b.quantize(std::vector<std::span<const float>>{offStep}, bytes);
    EXPECT_EQ(a.rng, b.rng);
    EXPECT_NE(a.rng, Quantizer::defaultSeed);
  }
}

TEST(QuantizerTest, DitherSequenceCarriesOverBetweenCalls) {
  const std::vector<float> samples = ramp(1000);
  Quantizer whole{16, true};
  std::vector<uint8_t> once(2000);
  whole.quantize(std::vector<std::span<const float>>{samples}, once);

  Quantizer split{16, true};
  std::vector<uint8_t> twice(2000);
  const std::span<const float> all(samples);
  split.quantize(std::vector<std::span<const float>>{all.first(300)}, std::span(twice).first(600));
  split.quantize(std::vector<std::span<const float>>{all.subspan(300)}, std::span(twice).subspan(600));
  EXPECT_EQ(once, twice);
  EXPECT_EQ(whole.rng, split.rng);
}

// The concurrent form draws each sample's dither from where the sequence stands for it, so it
// writes what quantize writes and leaves the generator where quantize leaves it, over calls in
// a row and with samples on exact steps, NaN and out-of-range values among them.
TEST(QuantizerTest, ConcurrentQuantisingMatchesTheSequentialForm) {
  std::vector<std::vector<float>> channels(3, ramp(50000));
  for (size_t c = 0; c < channels.size(); ++c)
    for (size_t i = 0; i < channels[c].size(); ++i) {
      float& x = channels[c][i];
      x = std::sin(0.001f * static_cast<float>(i * (c + 1))) * 0.9f;
      if (i % 7 == 0) x = std::ldexp(std::round(std::ldexp(x, 15)), -15);  // on a 16-bit step
    }
  channels[1][123] = std::numeric_limits<float>::quiet_NaN();
  channels[2][40000] = 3.0f;
  for (const int bits : {16, 24, 32})
    for (const bool dither : {false, true}) {
      Quantizer sequential{bits, dither}, concurrent{bits, dither};
      const size_t width = static_cast<size_t>(sequential.bytesPerSample());
      for (const size_t frames : {size_t{50000}, size_t{8193}, size_t{100}}) {
        std::vector<std::span<const float>> views;
        for (const auto& channel : channels) views.emplace_back(channel.data(), frames);
        std::vector<uint8_t> expected(frames * 3 * width), got(frames * 3 * width);
        sequential.quantize(views, expected);
        concurrent.quantizeConcurrently(views, got);
        EXPECT_EQ(got, expected) << bits << " bits, " << frames << " frames, dither " << dither;
        EXPECT_EQ(concurrent.rng, sequential.rng);
        EXPECT_EQ(concurrent.clippedSamples, sequential.clippedSamples);
      }
      EXPECT_EQ(sequential.clippedSamples, 1) << "the 3.0 of the first call, counted once";
    }
}

// Only samples beyond full scale count as clipped: ±1.0 itself, NaN and samples just inside do
// not, at every width and with dither; the count adds up over calls.
TEST(QuantizerTest, CountsTheSamplesBeyondFullScale) {
  const float inf = std::numeric_limits<float>::infinity();
  const float above = std::nextafter(1.0f, 2.0f);
  const std::vector<float> inside{1.0f, -1.0f, 0.99999f, -0.5f, 0.0f, std::numeric_limits<float>::quiet_NaN()};
  const std::vector<float> beyond{above, -above, 1.5f, -3.0f, inf, -inf};
  for (const int bits : {16, 24, 32})
    for (const bool dither : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, dither " + std::to_string(dither));
      Quantizer quantizer{bits, dither};
      std::vector<uint8_t> bytes(inside.size() * 8);
      quantizer.quantize(std::vector<std::span<const float>>{inside}, bytes);
      EXPECT_EQ(quantizer.clippedSamples, 0);
      quantizer.quantize(std::vector<std::span<const float>>{beyond, inside}, bytes);
      EXPECT_EQ(quantizer.clippedSamples, 6);
      quantizer.quantize(std::vector<std::span<const float>>{beyond}, bytes);
      EXPECT_EQ(quantizer.clippedSamples, 12);
    }
}

TEST(QuantizerTest, ThirtyTwoBitsIsNeverDithered) {
  const std::vector<float> samples = ramp(500);
  EXPECT_EQ(quantizeValues(32, samples, true), quantizeValues(32, samples, false));
  Quantizer quantizer{32, true};
  std::vector<uint8_t> bytes(2000);
  quantizer.quantize(std::vector<std::span<const float>>{samples}, bytes);
  EXPECT_EQ(quantizer.rng, Quantizer::defaultSeed);
}

TEST(LengthEnforcerTest, CutsAndPadsToTheExpectedLength) {
  struct Case {
    int64_t expected;
    std::vector<int64_t> fed;
    std::vector<int64_t> handedOn;
  };
  const Case cases[] = {
      {10, {6, 6}, {6, 4}},
      {10, {3}, {3, 7}},
      {10, {10, 5}, {10}},
      {20000, {}, {8192, 8192, 3616}},
      {0, {4}, {}},
  };
  for (const Case& c : cases) {
    auto sink = std::make_unique<CollectingSink>();
    CollectingSink* collected = sink.get();
    LengthEnforcer enforcer(c.expected, 2, std::move(sink));
    float value = 1;
    for (int64_t frames : c.fed) {
      const std::vector<std::vector<float>> chunk(2, std::vector<float>(static_cast<size_t>(frames), value++));
      enforcer.consume(viewsOf(chunk));
    }
    enforcer.finish();
    EXPECT_EQ(collected->chunkFrames, c.handedOn) << "expected " << c.expected;
    EXPECT_EQ(collected->totalFrames(), c.expected);
    EXPECT_EQ(collected->finishCalls, 1);
    if (c.expected == 10 && c.fed.size() == 1) {
      const std::vector<float> left{1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
      EXPECT_EQ(collected->channels[0], left);
      EXPECT_EQ(collected->channels[1], left);
    }
  }
}

TEST(ChannelMixerTest, MixesRowsAndSkipsZeroCoefficients) {
  auto sink = std::make_unique<CollectingSink>();
  CollectingSink* collected = sink.get();
  // Row 0 averages the first two channels; row 1 takes channel 0 only, with a zero for a
  // third channel the chunks lack.
  ChannelMixer mixer({{0.5f, 0.5f}, {1.0f, 0.0f, 0.0f}}, std::move(sink));
  mixer.consume(viewsOf({{1.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.5f}}));
  mixer.consume(viewsOf({{0.25f, 0.5f, 0.75f, 1.0f, 2.0f}, {0.75f, 0.5f, 0.25f, 0.0f, 0.0f}}));
  mixer.consume(viewsOf({{4.0f}, {2.0f}}));
  EXPECT_EQ(collected->chunkFrames, (std::vector<int64_t>{3, 5, 1}));
  EXPECT_EQ(collected->channels[0], (std::vector<float>{0.5f, 0.5f, -0.25f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 3.0f}));
  EXPECT_EQ(collected->channels[1], (std::vector<float>{1.0f, 0.0f, -1.0f, 0.25f, 0.5f, 0.75f, 1.0f, 2.0f, 4.0f}));
  mixer.finish();
  mixer.abort();
  EXPECT_EQ(collected->finishCalls, 1);
  EXPECT_EQ(collected->abortCalls, 1);
}

std::vector<float> sine(double frequency, double rate, int64_t frames) {
  std::vector<float> samples(static_cast<size_t>(frames));
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
  return samples;
}

TEST(ResamplerTest, StreamsToTheEnforcedLengthAndKeepsTheSignal) {
  auto sink = std::make_unique<CollectingSink>();
  CollectingSink* collected = sink.get();
  auto enforcer = std::make_unique<LengthEnforcer>(48000, 2, std::move(sink));
  Resampler resampler(44100, 48000, 2, 32768, std::move(enforcer));

  const std::vector<std::vector<float>> source{sine(1000, 44100, 44100), sine(250, 44100, 44100)};
  for (size_t first = 0; first < 44100; first += 32768) resampler.consume(viewsOf(source, first, 32768));
  resampler.finish();

  EXPECT_EQ(collected->totalFrames(), 48000);
  EXPECT_EQ(collected->finishCalls, 1);
  // Time-aligned output: away from the edges it matches the ideal signal at the new rate.
  const std::vector<float> left = sine(1000, 48000, 48000);
  const std::vector<float> right = sine(250, 48000, 48000);
  double worst = 0;
  for (size_t i = 1000; i < 47000; ++i)
    worst = std::max({worst, std::fabs(double{collected->channels[0][i] - left[i]}),
                      std::fabs(double{collected->channels[1][i] - right[i]})});
  EXPECT_LT(worst, 1e-3);
}

TEST(ResamplerTest, HandsOnAboutTheIdealLengthOnItsOwn) {
  for (auto [from, to] : {std::pair{44100.0, 48000.0}, std::pair{48000.0, 22050.0}, std::pair{8000.0, 96000.0}}) {
    auto sink = std::make_unique<CollectingSink>();
    CollectingSink* collected = sink.get();
    Resampler resampler(from, to, 1, 4096, std::move(sink));
    const std::vector<std::vector<float>> source{sine(440, from, 10000)};
    for (size_t first = 0; first < 10000; first += 4096) resampler.consume(viewsOf(source, first, 4096));
    resampler.finish();
    EXPECT_NEAR(static_cast<double>(collected->totalFrames()), 10000 * to / from, 2) << from << " -> " << to;
  }
}

TEST(ResamplerTest, RefusesRatesItCannotConvert) {
  struct Case {
    double from, to;
    const char* message;
  };
  const Case cases[] = {
      {0, 48000, "can’t convert 0 Hz to 48000 Hz"},
      {44100.9, -48000, "can’t convert 44100 Hz to -48000 Hz"},
      {std::numeric_limits<double>::quiet_NaN(), 44100, "can’t convert nan Hz to 44100 Hz"},
  };
  for (const Case& c : cases) {
    try {
      Resampler(c.from, c.to, 2, 1024, std::make_unique<CollectingSink>());
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
      EXPECT_EQ(error.message(), c.message);
    }
  }
}

TEST(ResamplerTest, AbortPassesDownWithoutFinishing) {
  auto sink = std::make_unique<CollectingSink>();
  CollectingSink* collected = sink.get();
  Resampler resampler(44100, 48000, 1, 1024, std::move(sink));
  resampler.consume(viewsOf({sine(440, 44100, 1024)}));
  resampler.abort();
  EXPECT_EQ(collected->abortCalls, 1);
  EXPECT_EQ(collected->finishCalls, 0);
}

} // namespace
} // namespace quar
