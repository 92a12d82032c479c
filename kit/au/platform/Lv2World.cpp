#include "au/platform/Lv2World.h"

#include <algorithm>
#include <cmath>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>

#include "au/platform/Lv2Plugins.h"
#include "au/platform/Lv2Unit.h"
#include "au/platform/PlatformUnit.h"

namespace quar {

namespace {

constexpr const char* rdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* doapName = "http://usefulinc.com/ns/doap#name";

std::string takeString(LilvNode* node) {
  std::string text = node && (lilv_node_is_string(node) || lilv_node_is_literal(node)) ? lilv_node_as_string(node) : "";
  lilv_node_free(node);
  return text;
}

float takeFloat(LilvNode* node, float fallback) {
  float value = fallback;
  if (node && (lilv_node_is_float(node) || lilv_node_is_int(node))) value = lilv_node_as_float(node);
  lilv_node_free(node);
  return value;
}

uint32_t unitCode(const std::string& uri) {
  static const std::pair<const char*, uint32_t> table[] = {
      {LV2_UNITS__db, parameterUnit::decibels},     {LV2_UNITS__hz, parameterUnit::hertz},
      {LV2_UNITS__ms, parameterUnit::milliseconds}, {LV2_UNITS__s, parameterUnit::seconds},
      {LV2_UNITS__pc, parameterUnit::percent},      {LV2_UNITS__cent, parameterUnit::cents},
      {LV2_UNITS__semitone12TET, parameterUnit::relativeSemiTones},
      {LV2_UNITS__bpm, parameterUnit::bpm},         {LV2_UNITS__midiNote, parameterUnit::midiNoteNumber},
      {LV2_UNITS__degree, parameterUnit::degrees},  {LV2_UNITS__oct, parameterUnit::octaves},
      {LV2_UNITS__frame, parameterUnit::sampleFrames}, {LV2_UNITS__m, parameterUnit::meters},
  };
  for (const auto& [u, code] : table)
    if (uri == u) return code;
  return parameterUnit::generic;
}

// Scale points (sorted) at every integer from the minimum to the maximum: the enumeration is an
// index.
bool coversRangeByIntegers(const std::vector<std::pair<float, std::string>>& points, float minimum, float maximum) {
  if (points.empty() || points.front().first != minimum || points.back().first != maximum) return false;
  for (size_t i = 0; i < points.size(); ++i)
    if (points[i].first != minimum + static_cast<float>(i) || points[i].first != std::trunc(points[i].first))
      return false;
  return true;
}

} // namespace

std::string componentKey(const AudioComponentDescription& d) {
  return std::to_string(d.componentType) + "-" + std::to_string(d.componentSubType) + "-" +
         std::to_string(d.componentManufacturer);
}

Lv2World& Lv2World::shared() {
  static Lv2World* world = new Lv2World();  // lives for the process: units may outlive statics
  return *world;
}

Lv2World::Lv2World() {
  map_.handle = this;
  map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2World*>(h)->map(uri); };
  unmap_.handle = this;
  unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID id) -> const char* {
    auto* self = static_cast<Lv2World*>(h);
    std::lock_guard lock(self->uridMutex_);
    return id >= 1 && id <= self->uris_.size() ? self->uris_[id - 1].c_str() : nullptr;
  };
  std::lock_guard lock(mutex);
  world = lilv_world_new();
  lilv_world_load_all(world);
  scan();
}

const LilvNode* Lv2World::node(const char* uri) {
  auto it = nodes_.find(uri);
  if (it == nodes_.end()) it = nodes_.emplace(uri, lilv_new_uri(world, uri)).first;
  return it->second;
}

LV2_URID Lv2World::map(const std::string& uri) {
  std::lock_guard lock(uridMutex_);
  auto it = ids_.find(uri);
  if (it != ids_.end()) return it->second;
  uris_.push_back(uri);
  const auto id = static_cast<LV2_URID>(uris_.size());
  ids_.emplace(uri, id);
  return id;
}

std::string Lv2World::unmap(LV2_URID id) {
  std::lock_guard lock(uridMutex_);
  return id >= 1 && id <= uris_.size() ? uris_[id - 1] : std::string();
}

void Lv2World::scan() {
  const LilvPlugins* all = lilv_world_get_all_plugins(world);
  LILV_FOREACH (plugins, it, all) {
    const LilvPlugin* p = lilv_plugins_get(all, it);
    Lv2Plugin info;
    info.plugin = p;
    info.uri = lilv_node_as_uri(lilv_plugin_get_uri(p));

    auto isA = [&](const char* cls) {
      LilvNodes* types = lilv_plugin_get_value(p, node(rdfType));
      const bool found = types && lilv_nodes_contains(types, node(cls));
      lilv_nodes_free(types);
      return found;
    };
    info.isInstrument = isA(LV2_CORE__InstrumentPlugin);
    for (const char* cls : {LV2_CORE__ReverbPlugin, LV2_CORE__DelayPlugin, LV2_CORE__ChorusPlugin,
                            LV2_CORE__FlangerPlugin, LV2_CORE__PhaserPlugin})
      if (isA(cls)) info.tailTime = 10;
    info.hasState = lilv_plugin_has_extension_data(p, node(LV2_STATE__interface));

    LilvNodes* required = lilv_plugin_get_required_features(p);
    LILV_FOREACH (nodes, f, required) info.requiredFeatures.emplace_back(lilv_node_as_uri(lilv_nodes_get(required, f)));
    lilv_nodes_free(required);

    LilvNodes* mainIn = lilv_plugin_get_value(p, node(LV2_PORT_GROUPS__mainInput));
    LilvNodes* mainOut = lilv_plugin_get_value(p, node(LV2_PORT_GROUPS__mainOutput));
    std::vector<uint32_t> allInputs, allOutputs;
    bool takesMidi = false;
    const uint32_t portCount = lilv_plugin_get_num_ports(p);
    for (uint32_t i = 0; i < portCount; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
      Lv2Port pi;
      pi.index = i;
      pi.symbol = lilv_node_as_string(lilv_port_get_symbol(p, port));
      pi.name = takeString(lilv_port_get_name(p, port));
      const bool input = lilv_port_is_a(p, port, node(LV2_CORE__InputPort));
      LilvNode* group = lilv_port_get(p, port, node(LV2_PORT_GROUPS__group));
      if (lilv_port_is_a(p, port, node(LV2_CORE__AudioPort))) {
        pi.kind = input ? Lv2Port::Kind::audioInput : Lv2Port::Kind::audioOutput;
        LilvNodes* main = input ? mainIn : mainOut;
        auto& all = input ? allInputs : allOutputs;
        all.push_back(i);
        if (main && group && lilv_nodes_contains(main, group)) (input ? info.mainInputs : info.mainOutputs).push_back(i);
      } else if (lilv_port_is_a(p, port, node(LV2_CORE__ControlPort))) {
        pi.kind = input ? Lv2Port::Kind::controlInput : Lv2Port::Kind::controlOutput;
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(p, port, &def, &min, &max);
        pi.minimum = takeFloat(min, 0);
        pi.maximum = takeFloat(max, 1);
        pi.defaultValue = takeFloat(def, pi.minimum);
        auto has = [&](const char* prop) { return lilv_port_has_property(p, port, node(prop)); };
        pi.toggled = has(LV2_CORE__toggled);
        pi.integer = has(LV2_CORE__integer);
        pi.enumeration = has(LV2_CORE__enumeration);
        pi.logarithmic = has(LV2_PORT_PROPS__logarithmic);
        pi.reportsLatency = has(LV2_CORE__reportsLatency);
        pi.sampleRateRelative = has(LV2_CORE__sampleRate);
        LilvNode* designation = lilv_port_get(p, port, node(LV2_CORE__designation));
        if (designation) {
          pi.enables = lilv_node_equals(designation, node(LV2_CORE__enabled));
          pi.freeWheeling = lilv_node_equals(designation, node(LV2_CORE__freeWheeling));
          pi.reportsLatency = pi.reportsLatency || lilv_node_equals(designation, node(LV2_CORE__latency));
        }
        lilv_node_free(designation);
        pi.hidden = pi.enables || pi.freeWheeling || pi.reportsLatency;
        LilvNode* unit = lilv_port_get(p, port, node(LV2_UNITS__unit));
        if (unit && lilv_node_is_uri(unit)) pi.unit = unitCode(lilv_node_as_uri(unit));
        lilv_node_free(unit);
        LilvScalePoints* points = lilv_port_get_scale_points(p, port);
        LILV_FOREACH (scale_points, s, points) {
          const LilvScalePoint* sp = lilv_scale_points_get(points, s);
          pi.scalePoints.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(sp)),
                                      lilv_node_as_string(lilv_scale_point_get_label(sp)));
        }
        lilv_scale_points_free(points);
        std::sort(pi.scalePoints.begin(), pi.scalePoints.end());
        if (pi.toggled) {
          pi.unit = parameterUnit::boolean;
          pi.minimum = 0;
          pi.maximum = 1;
        } else if (pi.enumeration && coversRangeByIntegers(pi.scalePoints, pi.minimum, pi.maximum)) {
          pi.unit = parameterUnit::indexed;
        }
      } else if (lilv_port_is_a(p, port, node(LV2_ATOM__AtomPort))) {
        pi.kind = input ? Lv2Port::Kind::atomInput : Lv2Port::Kind::atomOutput;
      }
      if (input && lilv_port_supports_event(p, port, node(LV2_MIDI__MidiEvent))) takesMidi = true;
      lilv_node_free(group);
      info.ports.push_back(std::move(pi));
    }
    if (!mainIn) info.mainInputs = allInputs;
    if (!mainOut) info.mainOutputs = allOutputs;
    lilv_nodes_free(mainIn);
    lilv_nodes_free(mainOut);
    if (info.mainOutputs.empty()) continue;

    uint32_t type = componentType::effect;
    if (info.isInstrument) type = componentType::musicDevice;
    else if (info.mainInputs.empty()) type = componentType::generator;
    else if (takesMidi) type = componentType::musicEffect;
    const uint64_t hash = lv2::uriHash(info.uri);
    info.component.description = {type, static_cast<uint32_t>(hash >> 32), static_cast<uint32_t>(hash), 0, 0};

    info.component.name = takeString(lilv_plugin_get_name(p));
    std::string author = takeString(lilv_plugin_get_author_name(p));
    if (author.empty()) {
      LilvNode* project = lilv_plugin_get_project(p);
      if (project) author = takeString(lilv_world_get(world, project, node(doapName), nullptr));
      lilv_node_free(project);
    }
    info.component.manufacturerName = author.empty() ? "Unknown" : author;
    LilvNodes* minor = lilv_plugin_get_value(p, node(LV2_CORE__minorVersion));
    LilvNodes* micro = lilv_plugin_get_value(p, node(LV2_CORE__microVersion));
    auto versionPart = [](LilvNodes* nodes) {
      const LilvNode* n = nodes ? lilv_nodes_get_first(nodes) : nullptr;
      const int v = n && lilv_node_is_int(n) ? lilv_node_as_int(n) : 0;
      lilv_nodes_free(nodes);
      return static_cast<uint32_t>(std::clamp(v, 0, 0xFFFF));
    };
    info.component.version = versionPart(minor) << 16 | versionPart(micro);

    const std::string key = componentKey(info.component.description);
    if (pluginById.contains(key)) continue;
    pluginById.emplace(key, plugins.size());
    plugins.push_back(std::move(info));
  }
}

namespace lv2 {

uint64_t uriHash(std::string_view uri) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : uri) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::vector<PlatformComponent> components() {
  Lv2World& w = Lv2World::shared();
  std::lock_guard lock(w.mutex);
  std::vector<PlatformComponent> result;
  for (const auto& plugin : w.plugins) result.push_back(plugin.component);
  return result;
}

std::optional<std::string> pluginURI(const AudioComponentDescription& description) {
  Lv2World& w = Lv2World::shared();
  std::lock_guard lock(w.mutex);
  auto it = w.pluginById.find(componentKey(description));
  if (it == w.pluginById.end()) return std::nullopt;
  return w.plugins[it->second].uri;
}

std::shared_ptr<PlatformUnit> instantiate(const AudioComponentDescription& description) {
  Lv2World& w = Lv2World::shared();
  const Lv2Plugin* plugin = nullptr;
  {
    std::lock_guard lock(w.mutex);
    auto it = w.pluginById.find(componentKey(description));
    if (it == w.pluginById.end()) return nullptr;
    plugin = &w.plugins[it->second];
  }
  return std::make_shared<Lv2Unit>(*plugin);
}

std::vector<PluginUI> uis(const AudioComponentDescription& description) {
  Lv2World& w = Lv2World::shared();
  std::lock_guard lock(w.mutex);
  auto it = w.pluginById.find(componentKey(description));
  if (it == w.pluginById.end()) return {};
  auto path = [](const LilvNode* uri) {
    char* parsed = uri ? lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr) : nullptr;
    std::string result = parsed ? parsed : "";
    lilv_free(parsed);
    return result;
  };
  std::vector<PluginUI> result;
  LilvUIs* found = lilv_plugin_get_uis(w.plugins[it->second].plugin);
  LILV_FOREACH (uis, i, found) {
    const LilvUI* ui = lilv_uis_get(found, i);
    PluginUI entry{lilv_node_as_uri(lilv_ui_get_uri(ui)), {}, path(lilv_ui_get_bundle_uri(ui)),
                        path(lilv_ui_get_binary_uri(ui))};
    const LilvNodes* classes = lilv_ui_get_classes(ui);
    LILV_FOREACH (nodes, c, classes) entry.typeURIs.push_back(lilv_node_as_uri(lilv_nodes_get(classes, c)));
    result.push_back(std::move(entry));
  }
  lilv_uis_free(found);
  return result;
}

LV2_URID_Map* uridMap() { return Lv2World::shared().uridMap(); }
LV2_URID_Unmap* uridUnmap() { return Lv2World::shared().uridUnmap(); }

} // namespace lv2
} // namespace quar
