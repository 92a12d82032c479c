// AudioUnitDescriptor: the value that names one hosted plug-in effect (rack slots, menus, the
// effect library), with its JSON form, equality, hashing and string id
// "type-subtype-manufacturer" (the three codes in unsigned decimal). Plain value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/Json.h"

namespace quar {

struct AudioComponentDescription;

struct AudioUnitDescriptor {
  uint32_t componentType = 0;
  uint32_t componentSubType = 0;
  uint32_t componentManufacturer = 0;
  std::string name;
  std::string manufacturerName;
  uint32_t version = 0;
  bool isAppleBuiltIn = false;

  AudioUnitDescriptor() = default;
  AudioUnitDescriptor(uint32_t componentType, uint32_t componentSubType, uint32_t componentManufacturer,
                      std::string name, std::string manufacturerName, uint32_t version, bool isAppleBuiltIn);

  std::string id() const;
  // The three codes; flags and mask 0.
  AudioComponentDescription componentDescription() const;

  // Packs up to the first four bytes of `code`, right-aligned ("ab" is 0x6162, "" is 0).
  static uint32_t fourCC(std::string_view code);
  bool operator==(const AudioUnitDescriptor&) const = default;
};

void to_json(Json& json, const AudioUnitDescriptor& descriptor);
// All seven keys are required; extra keys are ignored. Throws DecodingError.
void from_json(const Json& json, AudioUnitDescriptor& descriptor);

} // namespace quar

template <>
struct std::hash<quar::AudioUnitDescriptor> {
  size_t operator()(const quar::AudioUnitDescriptor& d) const noexcept;
};
