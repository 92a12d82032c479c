// Lv2Unit's full state (control values and state-extension properties) and its presets.
#include "au/platform/Lv2Unit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include "au/platform/PlatformError.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr const char* rdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* rdfsSeeAlso = "http://www.w3.org/2000/01/rdf-schema#seeAlso";

std::string hex(const uint8_t* bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

std::vector<uint8_t> unhex(const std::string& text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw DecodingError("Invalid hex digit in state property.");
  };
  if (text.size() % 2) throw DecodingError("Odd hex length in state property.");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
  return bytes;
}

template <typename T>
std::vector<uint8_t> bytesOf(T value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

template <typename T>
T valueOf(const void* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

struct StoreContext {
  Lv2World* world;
  Json properties = Json::array();
};

LV2_State_Status storeProperty(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                               uint32_t) {
  auto& context = *static_cast<StoreContext*>(handle);
  Lv2World& w = *context.world;
  const std::string typeURI = w.unmap(type);
  Json entry = Json::object();
  entry["key"] = w.unmap(key);
  entry["type"] = typeURI;
  const auto* bytes = static_cast<const uint8_t*>(value);
  if (typeURI == LV2_ATOM__String || typeURI == LV2_ATOM__Path || typeURI == LV2_ATOM__URI) {
    entry["value"] = std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
  } else if (typeURI == LV2_ATOM__Int && size == 4) {
    entry["value"] = valueOf<int32_t>(value);
  } else if (typeURI == LV2_ATOM__Bool && size == 4) {
    entry["value"] = valueOf<int32_t>(value) != 0;
  } else if (typeURI == LV2_ATOM__Long && size == 8) {
    entry["value"] = valueOf<int64_t>(value);
  } else if (typeURI == LV2_ATOM__Float && size == 4 && std::isfinite(valueOf<float>(value))) {
    entry["value"] = valueOf<float>(value);
  } else if (typeURI == LV2_ATOM__Double && size == 8 && std::isfinite(valueOf<double>(value))) {
    entry["value"] = valueOf<double>(value);
  } else if (typeURI == LV2_ATOM__URID && size == 4) {
    entry["value"] = w.unmap(valueOf<uint32_t>(value));
  } else {
    entry["hex"] = hex(bytes, size);
  }
  context.properties.push_back(std::move(entry));
  return LV2_STATE_SUCCESS;
}

const void* retrieveProperty(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
  for (const auto& [k, t, bytes] : *static_cast<const std::vector<std::tuple<LV2_URID, LV2_URID, std::vector<uint8_t>>>*>(handle))
    if (k == key) {
      *size = bytes.size();
      *type = t;
      *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
      return bytes.data();
    }
  return nullptr;
}

} // namespace

Json Lv2Unit::saveProperties() const {
  StoreContext context{&world_};
  const auto* state = static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  if (state && state->save) {
    const LV2_State_Status status = state->save(lilv_instance_get_handle(instance_), storeProperty, &context,
                                                LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
    if (status != LV2_STATE_SUCCESS)
      throw PlatformError(auStatus::invalidParameter, "The LV2 plug-in " + curlyQuoted(plugin_.component.name) +
                                                          " couldn\u2019t save its state (status " +
                                                          std::to_string(status) + ").");
  }
  return context.properties;
}

Lv2Unit::PropertyValues Lv2Unit::parseProperties(const Json& properties) const {
  if (!properties.is_array()) throw DecodingError("Expected an array at \"properties\".");
  PropertyValues values;
  for (const Json& entry : properties) {
    const std::string typeURI = json::stringMember(entry, "type");
    std::vector<uint8_t> bytes;
    if (json::hasMember(entry, "hex")) {
      bytes = unhex(json::stringMember(entry, "hex"));
    } else if (typeURI == LV2_ATOM__String || typeURI == LV2_ATOM__Path || typeURI == LV2_ATOM__URI) {
      const std::string text = json::stringMember(entry, "value");
      bytes.assign(text.begin(), text.end());
      bytes.push_back(0);
    } else if (typeURI == LV2_ATOM__Int) {
      bytes = bytesOf(static_cast<int32_t>(json::intMember(entry, "value")));
    } else if (typeURI == LV2_ATOM__Bool) {
      bytes = bytesOf(static_cast<int32_t>(json::boolMember(entry, "value")));
    } else if (typeURI == LV2_ATOM__Long) {
      bytes = bytesOf(json::intMember(entry, "value"));
    } else if (typeURI == LV2_ATOM__Float) {
      bytes = bytesOf(json::floatMember(entry, "value"));
    } else if (typeURI == LV2_ATOM__Double) {
      bytes = bytesOf(json::doubleMember(entry, "value"));
    } else if (typeURI == LV2_ATOM__URID) {
      bytes = bytesOf(world_.map(json::stringMember(entry, "value")));
    } else {
      throw DecodingError("Unknown state property type \"" + typeURI + "\".");
    }
    values.emplace_back(world_.map(json::stringMember(entry, "key")), world_.map(typeURI), std::move(bytes));
  }
  return values;
}

LV2_State_Status Lv2Unit::restoreProperties(LilvInstance* instance, const PropertyValues& values) {
  const auto* state = static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
  if (!state || !state->restore) return LV2_STATE_SUCCESS;
  return state->restore(lilv_instance_get_handle(instance), retrieveProperty, const_cast<PropertyValues*>(&values),
                        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
}

std::optional<Json> Lv2Unit::fullState() const {
  Json controls = Json::object();
  for (const auto& port : plugin_.ports)
    if (port.kind == Lv2Port::Kind::controlInput && !port.hidden && std::isfinite(values_[port.index].load()))
      controls[port.symbol] = values_[port.index].load();
  Json state = Json::object();
  state["plugin"] = plugin_.uri;
  state["controls"] = std::move(controls);
  if (plugin_.hasState) {
    std::lock_guard lock(instanceMutex_);
    state["properties"] = saveProperties();
  }
  return state;
}

void Lv2Unit::setFullState(const Json& state) {
  std::vector<std::pair<std::string, float>> controls;
  std::optional<PropertyValues> properties;
  try {
    const std::string uri = json::stringMember(state, "plugin");
    if (uri != plugin_.uri)
      throw PlatformError(auStatus::invalidParameter, "The state belongs to another LV2 plug-in (" + uri + ").");
    const Json& values = json::member(state, "controls");
    if (!values.is_object()) throw DecodingError("Expected an object at \"controls\".");
    for (const auto& [symbol, value] : values.items()) controls.emplace_back(symbol, json::decodeFloat(value, symbol));
    if (plugin_.hasState && json::hasMember(state, "properties"))
      properties = parseProperties(json::member(state, "properties"));
  } catch (const DecodingError& error) {
    throw PlatformError(auStatus::invalidParameter, std::string("The LV2 plug-in state isn\u2019t valid: ") + error.what());
  }
  // Held throughout, so that no render sees half of the state.
  std::lock_guard lock(instanceMutex_);
  for (const auto& [symbol, value] : controls) setValueBySymbol(symbol.c_str(), value);
  if (properties)
    if (const LV2_State_Status status = restoreProperties(instance_, *properties); status != LV2_STATE_SUCCESS)
      throw PlatformError(auStatus::invalidParameter, "The LV2 plug-in " + curlyQuoted(plugin_.component.name) +
                                                          " refused the state (status " + std::to_string(status) +
                                                          ").");
}

// Presets

void Lv2Unit::loadPresets() const {
  if (presets_) return;
  std::vector<PresetEntry> factory, user;
  const char* home = std::getenv("HOME");
  const std::string userFolder =
      home && *home ? (std::filesystem::path(home) / ".lv2").lexically_normal().string() + "/" : std::string();
  // A file under the user's ~/.lv2 (a preset saved by the user or another host).
  auto isUserFile = [&](const LilvNode* node) {
    if (userFolder.empty() || !node || !lilv_node_is_uri(node)) return false;
    char* path = lilv_file_uri_parse(lilv_node_as_uri(node), nullptr);
    const bool inside = path && std::filesystem::path(path).lexically_normal().string().rfind(userFolder, 0) == 0;
    lilv_free(path);
    return inside;
  };
  std::lock_guard lock(world_.mutex);
  LilvNodes* related = lilv_plugin_get_related(plugin_.plugin, world_.node(LV2_PRESETS__Preset));
  LILV_FOREACH (nodes, it, related) {
    const LilvNode* preset = lilv_nodes_get(related, it);
    lilv_world_load_resource(world_.world, preset);
    LilvNode* label = lilv_world_get(world_.world, preset, world_.node(rdfsLabel), nullptr);
    const std::string uri = lilv_node_as_uri(preset);
    const std::string name = label ? lilv_node_as_string(label) : uri;
    lilv_node_free(label);
    bool isUser = isUserFile(preset);
    LilvNodes* files = lilv_world_find_nodes(world_.world, preset, world_.node(rdfsSeeAlso), nullptr);
    LILV_FOREACH (nodes, f, files) isUser = isUser || isUserFile(lilv_nodes_get(files, f));
    lilv_nodes_free(files);
    (isUser ? user : factory).push_back({{0, name}, uri});
  }
  lilv_nodes_free(related);
  for (size_t i = 0; i < factory.size(); ++i) factory[i].preset.number = static_cast<int64_t>(i);
  for (size_t i = 0; i < user.size(); ++i) factory.push_back({{-static_cast<int64_t>(i) - 1, user[i].preset.name}, user[i].uri});
  presets_ = std::move(factory);
}

std::vector<PlatformPreset> Lv2Unit::factoryPresets() const {
  loadPresets();
  std::vector<PlatformPreset> result;
  for (const auto& entry : *presets_)
    if (entry.preset.number >= 0) result.push_back(entry.preset);
  return result;
}

std::vector<PlatformPreset> Lv2Unit::userPresets() const {
  loadPresets();
  std::vector<PlatformPreset> result;
  for (const auto& entry : *presets_)
    if (entry.preset.number < 0) result.push_back(entry.preset);
  return result;
}

std::optional<PlatformPreset> Lv2Unit::currentPreset() const { return currentPreset_; }

void Lv2Unit::setCurrentPreset(const PlatformPreset& preset) {
  loadPresets();
  const auto entry = std::find_if(presets_->begin(), presets_->end(),
                                  [&](const PresetEntry& e) { return e.preset.number == preset.number; });
  if (entry == presets_->end()) return;
  LilvState* state = nullptr;
  {
    std::lock_guard lock(world_.mutex);
    LilvNode* uri = lilv_new_uri(world_.world, entry->uri.c_str());
    state = lilv_state_new_from_world(world_.world, world_.uridMap(), uri);
    lilv_node_free(uri);
  }
  if (!state) return;
  {
    std::lock_guard lock(instanceMutex_);
    auto setPort = [](const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
      auto* unit = static_cast<Lv2Unit*>(self);
      const std::string typeURI = unit->world_.unmap(type);
      if (typeURI == LV2_ATOM__Float && size == 4) unit->setValueBySymbol(symbol, valueOf<float>(value));
      else if (typeURI == LV2_ATOM__Double && size == 8) unit->setValueBySymbol(symbol, static_cast<float>(valueOf<double>(value)));
      else if (typeURI == LV2_ATOM__Int && size == 4) unit->setValueBySymbol(symbol, static_cast<float>(valueOf<int32_t>(value)));
    };
    lilv_state_restore(state, instance_, setPort, this, 0, features_.data());
  }
  lilv_state_free(state);
  currentPreset_ = entry->preset;
  if (presetObserver_) presetObserver_();
}

void Lv2Unit::setPresetObserver(std::function<void()> observer) { presetObserver_ = std::move(observer); }

} // namespace quar
