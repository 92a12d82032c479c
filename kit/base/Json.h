// Strict JSON coding helpers over nlohmann::json for the kit's persisted records: keyed
// objects, integers that must be integral, doubles that must be finite when encoded.
// Failures throw DecodingError / EncodingError with a readable message.
// to_json overloads build a local object and assign it last: nlohmann leaks the target when
// to_json throws while the target is being constructed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace quar {

using Json = nlohmann::json;

// A failed decode: the message (what()) and, where the decoder knows it, the coding path of the
// value that failed, its member names joined by "." ("" for the value decoded, or not known).
class DecodingError : public std::runtime_error {
public:
  explicit DecodingError(const std::string& message, std::string codingPath = {})
      : std::runtime_error(message), codingPath_(std::move(codingPath)) {}

  const std::string& codingPath() const { return codingPath_; }

private:
  std::string codingPath_;
};

class EncodingError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

namespace json {

// The value stored under `key` of an object; throws when `object` is no object or lacks the key.
const Json& member(const Json& object, const std::string& key);
bool hasMember(const Json& object, const std::string& key);

// Typed reads that refuse values of another type. An Int must be an integral number
// (10 and 10.0 are; 2.5 and "10" are not); a Double accepts any number.
int64_t decodeInt(const Json& value, const std::string& path);
double decodeDouble(const Json& value, const std::string& path);
float decodeFloat(const Json& value, const std::string& path);
bool decodeBool(const Json& value, const std::string& path);
std::string decodeString(const Json& value, const std::string& path);

// Keyed shorthands: decodeInt(object, "key") == decodeInt(member(object, "key"), "key").
inline int64_t intMember(const Json& o, const std::string& k) { return decodeInt(member(o, k), k); }
inline double doubleMember(const Json& o, const std::string& k) { return decodeDouble(member(o, k), k); }
inline float floatMember(const Json& o, const std::string& k) { return decodeFloat(member(o, k), k); }
inline bool boolMember(const Json& o, const std::string& k) { return decodeBool(member(o, k), k); }
inline std::string stringMember(const Json& o, const std::string& k) { return decodeString(member(o, k), k); }

// A finite double as a JSON number; NaN and infinities throw EncodingError (never null).
Json encodeDouble(double value, const std::string& path);

} // namespace json
} // namespace quar
