// TimeFormat: how positions and durations are shown and typed: hours-minutes-seconds,
// seconds, or sample frames. Pure functions; formatting and parsing never convert a
// non-finite or out-of-range value to an integer (such input formats as "" and parses as none).
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Enums.h"

enum class TimeFormat { hms, seconds, samples };

template <>
struct quar::EnumCases<TimeFormat> {
  static constexpr std::array values{TimeFormat::hms, TimeFormat::seconds, TimeFormat::samples};
};

// "hms", "seconds", "samples".
std::string_view rawValue(TimeFormat format);
// "Hours:Minutes:Seconds", "Seconds", "Samples".
QString title(TimeFormat format);

// "m:ss" below an hour, else "h:mm:ss", then "." and `decimals` truncated fraction digits;
// negative durations count as 0. "" for a duration that is not finite or not below 2^63 s.
QString hmsString(double seconds, int decimals);
// A frame index as text: "1:15.250", "75.250", or "3,310,000" (grouped for the current
// locale). "" when frame / sampleRate is not a finite duration.
QString timeString(TimeFormat format, int64_t frame, double sampleRate);
// The frame index of typed text ("90s", "1:30", "1:02:03.5", "48000smp", in the samples
// format "48,000"); none when the text cannot be read.
std::optional<int64_t> frameFromText(TimeFormat format, QStringView text, double sampleRate);
