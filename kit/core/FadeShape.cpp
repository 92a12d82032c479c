#include "core/FadeShape.h"

#include <cmath>
#include <numbers>
#include <string>

#include "base/Numbers.h"

namespace quar {

std::string_view rawValue(FadeShape shape) {
  switch (shape) {
  case FadeShape::linear: return "linear";
  case FadeShape::logarithmic: return "logarithmic";
  case FadeShape::exponential: return "exponential";
  case FadeShape::sCurve: return "sCurve";
  case FadeShape::equalPower: return "equalPower";
  }
  return {};
}

std::string_view displayName(FadeShape shape) {
  switch (shape) {
  case FadeShape::linear: return "Linear";
  case FadeShape::logarithmic: return "Logarithmic (fast)";
  case FadeShape::exponential: return "Exponential (slow)";
  case FadeShape::sCurve: return "S-Curve";
  case FadeShape::equalPower: return "Equal Power";
  }
  return {};
}

double gain(FadeShape shape, double t) {
  const double x = clamped(t, 0.0, 1.0);
  switch (shape) {
  case FadeShape::linear: return x;
  case FadeShape::logarithmic: return 1 - (1 - x) * (1 - x);
  case FadeShape::exponential: return x * x * x;
  case FadeShape::sCurve: return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
  case FadeShape::equalPower: return std::sin(std::numbers::pi * x / 2);
  }
  return x;
}

void to_json(Json& json, FadeShape shape) { json = std::string(rawValue(shape)); }

void from_json(const Json& json, FadeShape& shape) {
  const std::string raw = json::decodeString(json, "FadeShape");
  const std::optional<FadeShape> value = fromRawValue<FadeShape>(raw);
  if (!value) throw DecodingError("Cannot initialize FadeShape from invalid String value " + raw + ".");
  shape = *value;
}

} // namespace quar
