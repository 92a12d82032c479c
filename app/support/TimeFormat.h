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
// The same text for `frames` at `sampleRate` Hz, cut from the whole frame count so that an exact
// duration never reads one unit short (5,644,800 frames at 48 kHz: "1:57.600", not "1:57.599").
// Exact for a whole-number rate; a fractional rate formats frames / sampleRate.
QString hmsString(int64_t frames, double sampleRate, int decimals);
// A duration of `frames`: "%.3f s" below a minute ("0.500 s"), else hmsString with two
// decimals ("1:57.60").
QString durationString(int64_t frames, double sampleRate);
// A frame index as text: "1:15.250", "75.250", or "3,310,000" (grouped for the current
// locale). "" when frame / sampleRate is not a finite duration.
QString timeString(TimeFormat format, int64_t frame, double sampleRate);
// The frame index of typed text ("90s", "1:30", "1:02:03.5", "48000smp", in the samples
// format "48,000" grouped as the current locale groups); none when the text cannot be read.
// The samples reading takes a whole number as the locale writes it and nothing else: "1e9",
// "1.5" and "1:30" are unreadable there, "-5" is −5.
std::optional<int64_t> frameFromText(TimeFormat format, QStringView text, double sampleRate);
