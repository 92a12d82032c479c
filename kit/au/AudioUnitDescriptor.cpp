#include "au/AudioUnitDescriptor.h"

#include "au/platform/AudioTypes.h"

namespace quar {

AudioUnitDescriptor::AudioUnitDescriptor(uint32_t type, uint32_t subType, uint32_t manufacturer, std::string name,
                                         std::string manufacturerName, uint32_t version, bool isAppleBuiltIn)
    : componentType(type), componentSubType(subType), componentManufacturer(manufacturer), name(std::move(name)),
      manufacturerName(std::move(manufacturerName)), version(version), isAppleBuiltIn(isAppleBuiltIn) {}

std::string AudioUnitDescriptor::id() const {
  return std::to_string(componentType) + "-" + std::to_string(componentSubType) + "-" +
         std::to_string(componentManufacturer);
}

AudioComponentDescription AudioUnitDescriptor::componentDescription() const {
  return {componentType, componentSubType, componentManufacturer, 0, 0};
}

uint32_t AudioUnitDescriptor::fourCC(std::string_view code) {
  uint32_t value = 0;
  for (size_t i = 0; i < code.size() && i < 4; ++i) value = value * 256 + static_cast<unsigned char>(code[i]);
  return value;
}

namespace {

uint32_t decodeUInt32(const Json& object, const std::string& key) {
  const int64_t value = json::intMember(object, key);
  if (value < 0 || value > UINT32_MAX)
    throw DecodingError("Number <" + std::to_string(value) + "> does not fit in UInt32 at \"" + key + "\".");
  return static_cast<uint32_t>(value);
}

} // namespace

void to_json(Json& json, const AudioUnitDescriptor& d) {
  Json object = Json::object();
  object["componentType"] = d.componentType;
  object["componentSubType"] = d.componentSubType;
  object["componentManufacturer"] = d.componentManufacturer;
  object["name"] = d.name;
  object["manufacturerName"] = d.manufacturerName;
  object["version"] = d.version;
  object["isAppleBuiltIn"] = d.isAppleBuiltIn;
  json = std::move(object);
}

void from_json(const Json& json, AudioUnitDescriptor& d) {
  AudioUnitDescriptor result(decodeUInt32(json, "componentType"), decodeUInt32(json, "componentSubType"),
                             decodeUInt32(json, "componentManufacturer"), json::stringMember(json, "name"),
                             json::stringMember(json, "manufacturerName"), decodeUInt32(json, "version"),
                             json::boolMember(json, "isAppleBuiltIn"));
  d = std::move(result);
}

} // namespace quar

size_t std::hash<quar::AudioUnitDescriptor>::operator()(const quar::AudioUnitDescriptor& d) const noexcept {
  size_t h = std::hash<uint32_t>{}(d.componentType);
  h = h * 31 + std::hash<uint32_t>{}(d.componentSubType);
  h = h * 31 + std::hash<uint32_t>{}(d.componentManufacturer);
  h = h * 31 + std::hash<std::string>{}(d.name);
  h = h * 31 + std::hash<std::string>{}(d.manufacturerName);
  h = h * 31 + std::hash<uint32_t>{}(d.version);
  return h * 31 + std::hash<bool>{}(d.isAppleBuiltIn);
}
