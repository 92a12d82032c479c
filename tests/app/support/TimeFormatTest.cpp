#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "support/TimeFormat.h"

TEST(TimeFormat, HMSText) {
  struct Case {
    double seconds;
    int decimals;
    const char* text;
  };
  for (const Case& c : {Case{75.25, 3, "1:15.250"}, Case{3723.5, 3, "1:02:03.500"}, Case{-2, 3, "0:00.000"},
                        Case{0.5, 0, "0:00"}, Case{360000, 1, "100:00:00.0"}})
    EXPECT_EQ(hmsString(c.seconds, c.decimals), QString::fromUtf8(c.text)) << c.seconds;
  EXPECT_EQ(hmsString(std::numeric_limits<double>::infinity(), 3), QString());
  EXPECT_EQ(hmsString(std::nan(""), 3), QString());
  EXPECT_EQ(hmsString(1e300, 3), QString());
}

TEST(TimeFormat, HMSTextOfFramesIsCutFromTheWholeFrameCount) {
  struct Case {
    int64_t frames;
    double rate;
    int decimals;
    const char* text;
  };
  const Case cases[] = {
      {5'644'800, 48000, 3, "1:57.600"},  // 117.6 s exactly; the quotient is 117.59999999999999
      {5'644'800, 48000, 2, "1:57.60"},
      {5'644'799, 48000, 3, "1:57.599"},  // a frame short still cuts the fraction
      {3'310'000, 44100, 3, "1:15.056"},
      {178'728'000, 48000, 2, "1:02:03.50"},
      {47'999, 48000, 0, "0:00"},
      {-48'000, 48000, 3, "0:00.000"},
      {720, 44100.5, 1, "0:00.0"},  // a fractional rate formats the quotient
      {10, 0, 3, ""},
      {std::numeric_limits<int64_t>::max(), 48000, 3, "53375995583:39:01.162"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hmsString(c.frames, c.rate, c.decimals), QString::fromUtf8(c.text)) << c.frames << " at " << c.rate;

  // Every whole millisecond reads as itself, whatever its quotient rounds to.
  for (const double rate : {44100.0, 48000.0, 96000.0})
    for (int64_t ms = 0; ms < 400'000; ms += 10) {
      const auto frames = static_cast<int64_t>(rate) * ms / 1000;
      const auto part = [ms](int64_t divisor, int64_t modulus) { return static_cast<long long>(ms / divisor % modulus); };
      const QString expected = QString::asprintf("%lld:%02lld.%03lld", part(60'000, 1000), part(1000, 60), part(1, 1000));
      ASSERT_EQ(hmsString(frames, rate, 3), expected) << frames << " at " << rate;
      ASSERT_EQ(timeString(TimeFormat::hms, frames, rate), expected) << frames << " at " << rate;
    }
}

TEST(TimeFormat, DurationText) {
  struct Case {
    int64_t frames;
    const char* text;
  };
  for (const Case& c : {Case{0, "0.000 s"}, Case{24000, "0.500 s"}, Case{2879952, "59.999 s"}, Case{2880000, "1:00.00"},
                        Case{5'644'800, "1:57.60"}, Case{178728000, "1:02:03.50"}})
    EXPECT_EQ(durationString(c.frames, 48000), QString::fromLatin1(c.text)) << c.frames;
  EXPECT_EQ(durationString(10, 0), QString());
}

TEST(TimeFormat, FrameText) {
  EXPECT_EQ(timeString(TimeFormat::hms, 3310000, 44100), QStringLiteral("1:15.056"));
  EXPECT_EQ(timeString(TimeFormat::hms, 5'644'800, 48000), QStringLiteral("1:57.600"));
  EXPECT_EQ(timeString(TimeFormat::seconds, 5'644'800, 48000), QStringLiteral("117.600"));
  EXPECT_EQ(timeString(TimeFormat::seconds, 3318525, 44100), QStringLiteral("75.250"));
  EXPECT_EQ(timeString(TimeFormat::seconds, -44100, 44100), QStringLiteral("-1.000"));
  EXPECT_EQ(timeString(TimeFormat::samples, 3310000, 44100), QStringLiteral("3,310,000"));
  EXPECT_EQ(timeString(TimeFormat::hms, 10, 0), QString());
}

TEST(TimeFormat, Parsing) {
  struct Case {
    TimeFormat format;
    const char* text;
    std::optional<int64_t> frame;
  };
  const double rate = 48000;
  const Case cases[] = {
      {TimeFormat::hms, "90s", 90 * 48000},
      {TimeFormat::hms, "1:30", 90 * 48000},
      {TimeFormat::seconds, "1:30s", 90 * 48000},
      {TimeFormat::seconds, " \t90\t", 90 * 48000},
      {TimeFormat::hms, "1:02:03.5", 3723.5 * 48000},
      {TimeFormat::hms, "5 s", std::nullopt},
      {TimeFormat::hms, "48000smp", 48000},
      {TimeFormat::seconds, "48000SMP", 48000},
      {TimeFormat::seconds, "48,000smp", 48000},
      {TimeFormat::samples, "48,000", 48000},
      {TimeFormat::samples, "48000", 48000},
      {TimeFormat::samples, "1,234,567smp", 1234567},
      {TimeFormat::samples, "-5", -5},
      {TimeFormat::samples, "9223372036854775807", std::numeric_limits<int64_t>::max()},
      // Only a whole number as the locale writes it: nothing is dropped to make one.
      {TimeFormat::samples, "1e9", std::nullopt},
      {TimeFormat::samples, "1.5", std::nullopt},
      {TimeFormat::samples, "1:30", std::nullopt},
      {TimeFormat::samples, "4,8000", std::nullopt},
      {TimeFormat::samples, "48000s", std::nullopt},
      {TimeFormat::samples, "smp", std::nullopt},
      {TimeFormat::samples, "abc", std::nullopt},
      {TimeFormat::samples, "\u0663", std::nullopt},
      {TimeFormat::samples, "99999999999999999999", std::nullopt},
      {TimeFormat::hms, "", std::nullopt},
      {TimeFormat::hms, "   ", std::nullopt},
      {TimeFormat::hms, "::", std::nullopt},
      {TimeFormat::hms, "-2", -2 * 48000},
      {TimeFormat::hms, "+2", 2 * 48000},
      {TimeFormat::hms, "inf", std::nullopt},
      {TimeFormat::hms, "nan", std::nullopt},
      {TimeFormat::hms, "1e300", std::nullopt},
      {TimeFormat::hms, "1:x", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(frameFromText(c.format, QString::fromUtf8(c.text), rate), c.frame) << c.text;
  EXPECT_EQ(frameFromText(TimeFormat::hms, u"0.00001", 44100), 0);
  EXPECT_EQ(frameFromText(TimeFormat::hms, u"0.00002", 44100), 1);
}

TEST(TimeFormat, RawValuesAndTitles) {
  EXPECT_EQ(quar::fromRawValue<TimeFormat>(std::string_view("seconds")), TimeFormat::seconds);
  EXPECT_EQ(quar::fromRawValue<TimeFormat>(std::string_view("minutes")), std::nullopt);
  EXPECT_EQ(title(TimeFormat::hms), QStringLiteral("Hours:Minutes:Seconds"));
}
