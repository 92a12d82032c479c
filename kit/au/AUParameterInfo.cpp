#include "au/AUParameterInfo.h"

#include <utility>

#include "au/platform/PlatformUnit.h"

namespace quar {

AUParameterInfo AUParameterInfo::from(const PlatformParameter& p) {
  AUParameterInfo info;
  info.address = p.address;
  info.identifier = p.identifier;
  info.keyPath = p.keyPath;
  info.name = p.displayName;
  info.unitName = p.unitName && !p.unitName->empty() ? *p.unitName : nameOf(p.unit);
  info.unit = p.unit;
  info.minValue = p.minValue;
  info.maxValue = p.maxValue;
  info.value = p.value;
  info.isWritable = (p.flags & parameterFlag::isWritable) != 0;
  info.valueStrings = p.valueStrings;
  info.prefersLogarithmicDisplay = (p.flags & parameterFlag::displayLogarithmic) != 0;
  return info;
}

std::string AUParameterInfo::nameOf(uint32_t unit) {
  static const std::pair<uint32_t, const char*> names[] = {
      {3, "%"},     {4, "s"},      {5, "samples"}, {6, "rad"},   {7, "\u00D7"},  {8, "Hz"},
      {9, "cents"}, {10, "semitones"}, {11, "note"}, {12, "CC"},  {13, "dB"},     {14, "gain"},
      {15, "\u00B0"}, {16, "%"},   {17, "dB"},     {18, "pan"},  {19, "m"},      {20, "cents"},
      {21, "oct"},  {22, "BPM"},   {23, "beats"},  {24, "ms"},   {25, ":1"},
  };
  for (const auto& [code, text] : names)
    if (code == unit) return text;
  return {};
}

} // namespace quar

size_t std::hash<quar::AUParameterInfo>::operator()(const quar::AUParameterInfo& p) const noexcept {
  size_t h = std::hash<uint64_t>{}(p.address);
  h = h * 31 + std::hash<std::string>{}(p.identifier);
  h = h * 31 + std::hash<std::string>{}(p.keyPath);
  h = h * 31 + std::hash<std::string>{}(p.name);
  h = h * 31 + std::hash<std::string>{}(p.unitName);
  h = h * 31 + std::hash<uint32_t>{}(p.unit);
  h = h * 31 + std::hash<float>{}(p.minValue);
  h = h * 31 + std::hash<float>{}(p.maxValue);
  h = h * 31 + std::hash<float>{}(p.value);
  h = h * 31 + std::hash<bool>{}(p.isWritable);
  h = h * 31 + std::hash<bool>{}(p.valueStrings.has_value());
  if (p.valueStrings)
    for (const auto& text : *p.valueStrings) h = h * 31 + std::hash<std::string>{}(text);
  return h * 31 + std::hash<bool>{}(p.prefersLogarithmicDisplay);
}
