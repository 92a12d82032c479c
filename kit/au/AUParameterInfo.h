// AUParameterInfo: a snapshot of one parameter of a hosted plug-in as the parameter list shows
// it (values in the parameter's own unit, range [minValue, maxValue]). Plain value; safe on any
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "au/ParameterUnit.h"

namespace quar {

struct PlatformParameter;

struct AUParameterInfo {
  uint64_t address = 0;
  std::string identifier;
  std::string keyPath;
  std::string name;
  std::string unitName;  // the unit's own text, else nameOf(unit)
  uint32_t unit = parameterUnit::generic;
  float minValue = 0;
  float maxValue = 0;
  float value = 0;
  bool isWritable = false;
  std::optional<std::vector<std::string>> valueStrings;
  bool prefersLogarithmicDisplay = false;

  static AUParameterInfo from(const PlatformParameter& parameter);
  // The short text of a parameter unit ("dB", "Hz", "ms"); empty for generic, indexed, boolean,
  // custom and unknown units.
  static std::string nameOf(uint32_t unit);

  uint64_t id() const { return address; }
  bool isIndexed() const { return unit == parameterUnit::indexed; }
  bool isBoolean() const { return unit == parameterUnit::boolean; }

  bool operator==(const AUParameterInfo&) const = default;
};

} // namespace quar

template <>
struct std::hash<quar::AUParameterInfo> {
  size_t operator()(const quar::AUParameterInfo& info) const noexcept;
};
