// FadeShape: the curves of fades, each rising from gain 0 at t = 0 to gain 1 at t = 1
// (stored as its raw value string). FadeDirection: whether a fade rises or falls.
// Pure functions, audio-thread safe.
#pragma once

#include <array>
#include <string_view>

#include "base/Enums.h"
#include "base/Json.h"

namespace quar {

enum class FadeShape { linear, logarithmic, exponential, sCurve, equalPower };

template <>
struct EnumCases<FadeShape> {
  static constexpr std::array values{FadeShape::linear, FadeShape::logarithmic, FadeShape::exponential,
                                     FadeShape::sCurve, FadeShape::equalPower};
};

enum class FadeDirection { fadeIn, fadeOut };

// rawValue is also the shape's id.
std::string_view rawValue(FadeShape shape);
std::string_view displayName(FadeShape shape);
// The curve at t, with t clamped to [0, 1] first.
double gain(FadeShape shape, double t);

void to_json(Json& json, FadeShape shape);
// Throws DecodingError for anything but a known raw value string.
void from_json(const Json& json, FadeShape& shape);

} // namespace quar
