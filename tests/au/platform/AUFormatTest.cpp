#include <gtest/gtest.h>

#include <cmath>

#include "au/platform/AUFormat.h"
#include "au/platform/PlatformError.h"
#include "au/support/TestUnits.h"
#include "base/QuarError.h"

using namespace quar;
using namespace quar::test;

namespace {

// The user-facing text of the QuarError that `body` throws.
template <typename F>
std::string quarErrorText(F body) {
  try {
    body();
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::unsupportedFormat);
    return error.errorDescription();
  }
  ADD_FAILURE() << "no QuarError";
  return {};
}

} // namespace

TEST(AUFormat, MakeDescribesDeinterleavedFloatWithALayoutAboveTwoChannels) {
  struct Case {
    double rate;
    int64_t channels;
    std::optional<AudioStreamFormat> format;
  };
  const Case cases[] = {
      {44100, 0, std::nullopt},
      {44100, 1, AudioStreamFormat{44100, 1, false, std::nullopt}},
      {48000, 2, AudioStreamFormat{48000, 2, false, std::nullopt}},
      {48000, 3, AudioStreamFormat{48000, 3, false, (147u << 16) | 3}},
      {96000, 8, AudioStreamFormat{96000, 8, false, (147u << 16) | 8}},
      {44100, 65535, AudioStreamFormat{44100, 65535, false, (147u << 16) | 65535}},
      {44100, 65536, std::nullopt},
      {44100, 4294967295LL, std::nullopt},
      {0, 2, std::nullopt},
      {NAN, 2, std::nullopt},
      {-44100, 1, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(AUFormat::make(c.rate, c.channels), c.format) << c.rate << " " << c.channels;
}

TEST(AUFormat, ConfigureSetsBusesLimitAndResourcesInOrder) {
  FakeUnit unit({});
  AUFormat::configure(unit, 44100, 2, 2, 512);
  EXPECT_EQ(unit.events, (std::vector<std::string>{"input 2", "enable input", "output 2", "enable output",
                                                   "maxFrames 512", "allocate"}));
  EXPECT_EQ(unit.inputFormat, (AudioStreamFormat{44100, 2, false, std::nullopt}));
  EXPECT_TRUE(unit.allocated);

  // A second call releases the first allocation before anything else; maxFrames 0 counts as 1.
  unit.events.clear();
  AUFormat::configure(unit, 48000, 0, 6, 0);
  EXPECT_EQ(unit.events, (std::vector<std::string>{"deallocate", "output 6", "enable output", "maxFrames 1", "allocate"}));
  EXPECT_EQ(unit.outputFormat, (AudioStreamFormat{48000, 6, false, (147u << 16) | 6}));
}

TEST(AUFormat, ConfigureReportsMissingFormatsAndBuses) {
  FakeUnit plain({});
  EXPECT_EQ(quarErrorText([&] { AUFormat::configure(plain, 44100, 1, 0, 512); }),
            "Unsupported format: 0-channel Float32 at 44100.0 Hz");
  EXPECT_EQ(quarErrorText([&] { AUFormat::configure(plain, 22050.5, 1, 0, 512); }),
            "Unsupported format: 0-channel Float32 at 22050.5 Hz");
  EXPECT_EQ(quarErrorText([&] { AUFormat::configure(plain, 0, 1, 2, 512); }),
            "Unsupported format: 2-channel Float32 at 0.0 Hz");

  FakeUnitConfig noOutput;
  noOutput.outputBuses = 0;
  FakeUnit silent(noOutput);
  EXPECT_EQ(quarErrorText([&] { AUFormat::configure(silent, 48000, 1, 1, 512); }),
            "Unsupported format: \u201CFake Unit\u201D has no output bus");

  FakeUnitConfig noInput;
  noInput.inputBuses = 0;
  noInput.name = std::nullopt;
  FakeUnit generator(noInput);
  EXPECT_NO_THROW(AUFormat::configure(generator, 48000, 0, 2, 512));
  EXPECT_EQ(quarErrorText([&] { AUFormat::configure(generator, 48000, 1, 2, 512); }),
            "Unsupported format: \u201CLV2 plug-in\u201D has no input bus");
  EXPECT_FALSE(generator.allocated);
}

TEST(AUFormat, ARefusedBusFormatPassesThroughAndLeavesResourcesReleased) {
  FakeUnitConfig stereoOnly;
  stereoOnly.inputChannels = {2};
  stereoOnly.outputChannels = {2};
  FakeUnit unit(stereoOnly);
  AUFormat::configure(unit, 48000, 2, 2, 256);
  ASSERT_TRUE(unit.allocated);
  try {
    AUFormat::configure(unit, 48000, 1, 1, 256);
    FAIL() << "no error";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.code(), -10868);
    EXPECT_EQ(error.localizedDescription(), "Fake unit refuses 1 channels.");
  }
  EXPECT_FALSE(unit.allocated);
}
