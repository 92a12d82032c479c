// Lv2World: the process's one lilv world with what the host knows of each plug-in (ports,
// groups, classes, required features) and the URID map shared by every instance. lilv is not
// thread-safe: every world and plug-in data call happens under `mutex`. Internal to the LV2
// back-end (needs lilv's headers).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include "au/platform/ComponentManager.h"

namespace quar {

struct Lv2Port {
  enum class Kind { audioInput, audioOutput, controlInput, controlOutput, atomInput, atomOutput, other };

  uint32_t index = 0;
  Kind kind = Kind::other;
  std::string symbol;
  std::string name;
  float minimum = 0, maximum = 1, defaultValue = 0;
  bool toggled = false;
  bool logarithmic = false;
  bool integer = false;
  bool enumeration = false;
  bool sampleRateRelative = false;  // range and default are fractions of the sample rate
  bool hidden = false;          // enabled, free-wheeling and latency ports
  bool enables = false;         // lv2:enabled designation
  bool freeWheeling = false;    // lv2:freeWheeling designation
  bool reportsLatency = false;
  uint32_t unit = 0;            // parameter unit code
  std::vector<std::pair<float, std::string>> scalePoints;  // by value
};

struct Lv2Plugin {
  const LilvPlugin* plugin = nullptr;
  std::string uri;
  PlatformComponent component;
  std::vector<Lv2Port> ports;          // by index
  std::vector<uint32_t> mainInputs;    // audio port indices of input bus 0
  std::vector<uint32_t> mainOutputs;   // audio port indices of output bus 0
  std::vector<std::string> requiredFeatures;
  bool hasState = false;
  bool isInstrument = false;
  double tailTime = 0;  // seconds
};

class Lv2World {
public:
  // Loads the world on first use.
  static Lv2World& shared();

  std::mutex mutex;
  LilvWorld* world = nullptr;
  std::vector<Lv2Plugin> plugins;
  std::unordered_map<std::string, size_t> pluginById;  // "type-subtype-manufacturer" -> index

  // Interned nodes, owned by the world.
  const LilvNode* node(const char* uri);

  LV2_URID_Map* uridMap() { return &map_; }
  LV2_URID_Unmap* uridUnmap() { return &unmap_; }
  LV2_URID map(const std::string& uri);
  // Empty for an unknown id.
  std::string unmap(LV2_URID id);

private:
  Lv2World();
  void scan();

  std::unordered_map<std::string, LilvNode*> nodes_;
  std::mutex uridMutex_;
  std::unordered_map<std::string, LV2_URID> ids_;
  std::deque<std::string> uris_;  // stable addresses for unmap
  LV2_URID_Map map_{};
  LV2_URID_Unmap unmap_{};
};

std::string componentKey(const AudioComponentDescription& description);

} // namespace quar
