#include "base/Json.h"

#include <cmath>

namespace quar::json {

namespace {

[[noreturn]] void typeMismatch(const char* expected, const Json& value, const std::string& path) {
  throw DecodingError("Expected to decode " + std::string(expected) + " but found " + value.type_name() +
                          " at \"" + path + "\".",
                      path);
}

} // namespace

bool hasMember(const Json& object, const std::string& key) {
  return object.is_object() && object.contains(key);
}

const Json& member(const Json& object, const std::string& key) {
  if (!object.is_object()) typeMismatch("a keyed object", object, key);
  auto it = object.find(key);
  if (it == object.end()) throw DecodingError("No value associated with key \"" + key + "\".");
  return *it;
}

int64_t decodeInt(const Json& value, const std::string& path) {
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
      throw DecodingError("Number does not fit in Int at \"" + path + "\".", path);
    return value.get<int64_t>();
  }
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (std::isfinite(d) && d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
      return static_cast<int64_t>(d);
    throw DecodingError("Parsed JSON number <" + value.dump() + "> does not fit in Int at \"" + path + "\".", path);
  }
  typeMismatch("Int", value, path);
}

double decodeDouble(const Json& value, const std::string& path) {
  if (!value.is_number()) typeMismatch("Double", value, path);
  return value.get<double>();
}

float decodeFloat(const Json& value, const std::string& path) {
  if (!value.is_number()) typeMismatch("Float", value, path);
  const double d = value.get<double>();
  constexpr double overflow = 0x1.ffffffp127;  // FLT_MAX plus half an ulp: rounds to infinity
  if (std::isfinite(d) && std::abs(d) >= overflow)
    throw DecodingError("Parsed JSON number <" + value.dump() + "> does not fit in Float at \"" + path + "\".",
                        path);
  return static_cast<float>(d);
}

bool decodeBool(const Json& value, const std::string& path) {
  if (!value.is_boolean()) typeMismatch("Bool", value, path);
  return value.get<bool>();
}

std::string decodeString(const Json& value, const std::string& path) {
  if (!value.is_string()) typeMismatch("String", value, path);
  return value.get<std::string>();
}

Json encodeDouble(double value, const std::string& path) {
  if (!std::isfinite(value))
    throw EncodingError("Unable to encode Double." + std::string(std::isnan(value) ? "nan" : "inf") +
                        " directly in JSON at \"" + path + "\".");
  return value;
}

} // namespace quar::json
