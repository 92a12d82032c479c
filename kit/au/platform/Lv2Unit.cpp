#include "au/platform/Lv2Unit.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/parameters/parameters.h>
#include <lv2/presets/presets.h>

#include "au/platform/PlatformError.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr size_t atomCapacity = 8192;  // bytes per atom port
constexpr const char* rdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* rdfsSeeAlso = "http://www.w3.org/2000/01/rdf-schema#seeAlso";

// Features that are promises about how the host runs the plug-in rather than data it passes.
constexpr const char* honouredFeatures[] = {LV2_CORE__isLive, LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken};

char* copyString(const std::string& text) { return strdup(text.c_str()); }

int logVPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
  auto& world = *static_cast<Lv2World*>(handle);
  const std::string kind = world.unmap(type);
  if (kind != LV2_LOG__Error && kind != LV2_LOG__Warning) return 0;
  return std::vfprintf(stderr, format, args);
}

int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = logVPrintf(handle, type, format, args);
  va_end(args);
  return written;
}

std::filesystem::path stateFolder() {
  return std::filesystem::temp_directory_path() / ("quarnel-lv2-" + std::to_string(getpid()));
}


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

} // namespace

Lv2Unit::Lv2Unit(const Lv2Plugin& plugin)
    : plugin_(plugin), world_(Lv2World::shared()), inputList_(static_cast<uint32_t>(plugin.mainInputs.size())) {
  for (const auto& feature : plugin_.requiredFeatures) {
    static const char* provided[] = {LV2_URID__map,     LV2_URID__unmap,     LV2_OPTIONS__options,
                                     LV2_BUF_SIZE__boundedBlockLength,       LV2_LOG__log,
                                     LV2_STATE__mapPath, LV2_STATE__makePath};
    bool known = false;
    for (const char* uri : provided) known = known || feature == uri;
    for (const char* uri : honouredFeatures) known = known || feature == uri;
    if (!known)
      throw PlatformError(auStatus::failedInitialization,
                          "The LV2 plug-in " + curlyQuoted(plugin_.component.name) + " requires the feature " +
                              curlyQuoted(feature) + ", which this host doesn\u2019t provide.");
  }

  atomSequence_ = world_.map(LV2_ATOM__Sequence);
  atomChunk_ = world_.map(LV2_ATOM__Chunk);
  log_ = {&world_, logPrintf, logVPrintf};
  mapPath_.handle = nullptr;
  mapPath_.abstract_path = [](LV2_State_Map_Path_Handle, const char* path) { return copyString(path); };
  mapPath_.absolute_path = [](LV2_State_Map_Path_Handle, const char* path) { return copyString(path); };
  makePath_.handle = nullptr;
  makePath_.path = [](LV2_State_Make_Path_Handle, const char* path) {
    const auto full = stateFolder() / path;
    std::error_code ignored;
    std::filesystem::create_directories(full.parent_path(), ignored);
    return copyString(full.string());
  };
  featureStore_ = {{LV2_URID__map, world_.uridMap()},
                   {LV2_URID__unmap, world_.uridUnmap()},
                   {LV2_OPTIONS__options, options_},
                   {LV2_BUF_SIZE__boundedBlockLength, nullptr},
                   {LV2_LOG__log, &log_},
                   {LV2_STATE__mapPath, &mapPath_},
                   {LV2_STATE__makePath, &makePath_}};
  for (const auto& feature : featureStore_) features_.push_back(&feature);
  features_.push_back(nullptr);

  const size_t portCount = plugin_.ports.size();
  values_ = std::make_unique<std::atomic<float>[]>(portCount);
  controls_.assign(portCount, 0);
  audio_.resize(portCount);
  atoms_.resize(portCount);
  for (const auto& port : plugin_.ports)
    values_[port.index] = port.sampleRateRelative ? port.defaultValue * 48000.0f : port.defaultValue;

  std::lock_guard lock(instanceMutex_);
  makeInstance(rate_, maxFrames_);
}

Lv2Unit::~Lv2Unit() {
  std::lock_guard lock(instanceMutex_);
  if (active_) lilv_instance_deactivate(instance_);
  std::lock_guard worldLock(world_.mutex);
  lilv_instance_free(instance_);
}

void Lv2Unit::makeInstance(double rate, uint32_t maxBlock) {
  // The state moves to the new instance; a failure on either side keeps the current instance.
  std::optional<PropertyValues> properties;
  if (instance_ && plugin_.hasState) properties = parseProperties(saveProperties());
  if (active_) lilv_instance_deactivate(instance_);
  active_ = false;

  const LV2_URID intType = world_.map(LV2_ATOM__Int);
  minBlockOption_ = 1;
  maxBlockOption_ = static_cast<int32_t>(std::min<uint32_t>(maxBlock, INT32_MAX));
  sampleRateOption_ = static_cast<float>(rate);
  options_[0] = {LV2_OPTIONS_INSTANCE, 0, world_.map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &minBlockOption_};
  options_[1] = {LV2_OPTIONS_INSTANCE, 0, world_.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &maxBlockOption_};
  options_[2] = {LV2_OPTIONS_INSTANCE, 0, world_.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType, &maxBlockOption_};
  options_[3] = {LV2_OPTIONS_INSTANCE, 0, world_.map(LV2_PARAMETERS__sampleRate), sizeof(float),
                 world_.map(LV2_ATOM__Float), &sampleRateOption_};
  options_[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};

  LilvInstance* made = nullptr;
  {
    std::lock_guard worldLock(world_.mutex);
    made = lilv_plugin_instantiate(plugin_.plugin, rate, features_.data());
  }
  if (!made)
    throw PlatformError(auStatus::failedInitialization,
                        "The LV2 plug-in " + curlyQuoted(plugin_.component.name) + " couldn\u2019t be loaded.");
  if (properties)
    if (const LV2_State_Status status = restoreProperties(made, *properties); status != LV2_STATE_SUCCESS) {
      std::lock_guard worldLock(world_.mutex);
      lilv_instance_free(made);
      throw PlatformError(auStatus::failedInitialization, "The LV2 plug-in " + curlyQuoted(plugin_.component.name) +
                                                              " refused its own state when reloaded (status " +
                                                              std::to_string(status) + ").");
    }
  {
    std::lock_guard worldLock(world_.mutex);
    lilv_instance_free(instance_);
    instance_ = made;
  }
  instanceRate_ = rate;
  instanceBlock_ = maxBlock;
  connectPorts();
}

void Lv2Unit::connectPorts() {
  for (const auto& port : plugin_.ports) {
    void* memory = nullptr;
    switch (port.kind) {
    case Lv2Port::Kind::controlInput:
    case Lv2Port::Kind::controlOutput: memory = &controls_[port.index]; break;
    case Lv2Port::Kind::atomInput:
    case Lv2Port::Kind::atomOutput: memory = atoms_[port.index].empty() ? nullptr : atoms_[port.index].data(); break;
    default: memory = audio_[port.index].empty() ? nullptr : audio_[port.index].data(); break;
    }
    lilv_instance_connect_port(instance_, port.index, memory);
  }
}

std::optional<std::string> Lv2Unit::audioUnitName() const {
  if (plugin_.component.name.empty()) return std::nullopt;
  return plugin_.component.name;
}

void Lv2Unit::checkFormat(const AudioStreamFormat& format, size_t channels, const char* direction) {
  if (allocated_)
    throw PlatformError(auStatus::initialized, "The LV2 plug-in " + curlyQuoted(plugin_.component.name) +
                                                   " can\u2019t change its format while rendering.");
  if (channels == 0)
    throw PlatformError(auStatus::invalidElement,
                        "The LV2 plug-in " + curlyQuoted(plugin_.component.name) + " has no " + direction + " bus.");
  if (format.channelCount != channels || !(format.sampleRate > 0) || !std::isfinite(format.sampleRate) ||
      format.isInterleaved)
    throw PlatformError(auStatus::formatNotSupported,
                        "The LV2 plug-in " + curlyQuoted(plugin_.component.name) + " takes " + std::to_string(channels) +
                            "-channel " + direction + ", not " + std::to_string(format.channelCount) + "-channel.");
}

void Lv2Unit::setInputFormat(const AudioStreamFormat& format) {
  checkFormat(format, plugin_.mainInputs.size(), "input");
  rate_ = format.sampleRate;
}

void Lv2Unit::setOutputFormat(const AudioStreamFormat& format) {
  checkFormat(format, plugin_.mainOutputs.size(), "output");
  rate_ = format.sampleRate;
}

void Lv2Unit::setMaximumFramesToRender(uint32_t frames) {
  if (!allocated_) maxFrames_ = std::max<uint32_t>(frames, 1);
}

void Lv2Unit::allocateRenderResources() {
  std::lock_guard lock(instanceMutex_);
  if (allocated_) return;
  if (rate_ != instanceRate_ || maxFrames_ > instanceBlock_) makeInstance(rate_, maxFrames_);
  renderFrames_ = maxFrames_;
  for (const auto& port : plugin_.ports) {
    switch (port.kind) {
    case Lv2Port::Kind::audioInput:
    case Lv2Port::Kind::audioOutput:
    case Lv2Port::Kind::other: audio_[port.index].assign(renderFrames_, 0.0f); break;
    case Lv2Port::Kind::atomInput:
    case Lv2Port::Kind::atomOutput: atoms_[port.index].assign(atomCapacity / sizeof(uint64_t), 0); break;
    default: break;
    }
  }
  connectPorts();
  lilv_instance_activate(instance_);
  // One silent block lets the plug-in publish its latency; a reset then clears what it left.
  writeControlInputs();
  lilv_instance_run(instance_, renderFrames_);
  readLatency();
  lilv_instance_deactivate(instance_);
  lilv_instance_activate(instance_);
  active_ = true;
  allocated_ = true;
}

void Lv2Unit::deallocateRenderResources() {
  std::lock_guard lock(instanceMutex_);
  if (active_) lilv_instance_deactivate(instance_);
  active_ = false;
  allocated_ = false;
}

void Lv2Unit::reset() {
  std::lock_guard lock(instanceMutex_);
  if (!active_) return;
  lilv_instance_deactivate(instance_);
  lilv_instance_activate(instance_);
}

double Lv2Unit::instanceSampleRate() const {
  std::lock_guard lock(instanceMutex_);
  return instanceRate_;
}

double Lv2Unit::latency() const { return latencyFrames_ / instanceRate_; }

void Lv2Unit::readLatency() {
  for (const auto& port : plugin_.ports)
    if (port.reportsLatency && port.kind == Lv2Port::Kind::controlOutput)
      latencyFrames_.store(controls_[port.index], std::memory_order_relaxed);
}

void Lv2Unit::writeControlInputs() {
  for (const auto& port : plugin_.ports) {
    if (port.kind == Lv2Port::Kind::controlInput) {
      controls_[port.index] = port.enables ? 1.0f
                              : port.freeWheeling ? (offline_ ? 1.0f : 0.0f)
                                                  : values_[port.index].load(std::memory_order_relaxed);
    } else if (port.kind == Lv2Port::Kind::atomInput) {
      auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atoms_[port.index].data());
      *sequence = {{sizeof(LV2_Atom_Sequence_Body), atomSequence_}, {0, 0}};
    } else if (port.kind == Lv2Port::Kind::atomOutput) {
      auto* chunk = reinterpret_cast<LV2_Atom*>(atoms_[port.index].data());
      *chunk = {static_cast<uint32_t>(atomCapacity - sizeof(LV2_Atom)), atomChunk_};
    }
  }
}

RenderBlock Lv2Unit::renderBlock() {
  return [this](AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, uint32_t frames, int64_t,
                AudioBufferList* output, const PullInputBlock* pull) {
    return render(flags, time, frames, output, pull);
  };
}

AUStatus Lv2Unit::render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, uint32_t frames,
                         AudioBufferList* output, const PullInputBlock* pull) {
  if (!allocated_) return auStatus::uninitialized;
  std::unique_lock lock(instanceMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return auStatus::cannotDoInCurrentContext;
  if (!active_) return auStatus::uninitialized;
  if (frames > renderFrames_) return auStatus::tooManyFramesToProcess;
  writeControlInputs();

  const auto& inputs = plugin_.mainInputs;
  if (!inputs.empty()) {
    if (!pull || !*pull) return auStatus::noConnection;
    AudioBufferList* list = inputList_.get();
    list->mNumberBuffers = static_cast<uint32_t>(inputs.size());
    for (AudioBuffer& buffer : buffers(*list)) buffer = {1, frames * 4, nullptr};
    const AUStatus status = (*pull)(flags, time, frames, 0, list);
    if (status != auStatus::noErr) return status;
    for (size_t i = 0; i < inputs.size(); ++i) {
      void* data = list->mBuffers[i].mData;
      if (!data) {
        data = audio_[inputs[i]].data();
        std::memset(data, 0, frames * sizeof(float));
      }
      lilv_instance_connect_port(instance_, inputs[i], data);
    }
  }
  const auto& outputs = plugin_.mainOutputs;
  for (size_t j = 0; j < outputs.size(); ++j) {
    void* data = audio_[outputs[j]].data();
    if (output && j < output->mNumberBuffers) {
      AudioBuffer& buffer = output->mBuffers[j];
      if (!buffer.mData) buffer.mData = data;
      buffer.mNumberChannels = 1;
      buffer.mDataByteSize = frames * 4;
      data = buffer.mData;
    }
    lilv_instance_connect_port(instance_, outputs[j], data);
  }
  lilv_instance_run(instance_, frames);
  readLatency();
  return auStatus::noErr;
}

// Parameters

const Lv2Port* Lv2Unit::visibleControl(uint64_t address) const {
  if (address >= plugin_.ports.size()) return nullptr;
  const Lv2Port& port = plugin_.ports[address];
  return port.kind == Lv2Port::Kind::controlInput && !port.hidden ? &port : nullptr;
}

PlatformParameter Lv2Unit::snapshot(const Lv2Port& port) const {
  const float scale = port.sampleRateRelative ? static_cast<float>(instanceSampleRate()) : 1.0f;
  PlatformParameter p;
  p.address = port.index;
  p.identifier = port.symbol;
  p.keyPath = port.symbol;
  p.displayName = port.name;
  p.unit = port.unit;
  p.minValue = port.minimum * scale;
  p.maxValue = port.maximum * scale;
  p.value = values_[port.index];
  p.flags = parameterFlag::isReadable | parameterFlag::isWritable |
            (port.logarithmic ? parameterFlag::displayLogarithmic : 0);
  if (port.unit == parameterUnit::indexed) {
    std::vector<std::string> labels;
    for (const auto& point : port.scalePoints) labels.push_back(point.second);
    p.valueStrings = std::move(labels);
  }
  return p;
}

PlatformParameterTree* Lv2Unit::parameterTree() {
  for (const auto& port : plugin_.ports)
    if (visibleControl(port.index)) return this;
  return nullptr;
}

std::vector<PlatformParameter> Lv2Unit::allParameters() const {
  std::vector<PlatformParameter> result;
  for (const auto& port : plugin_.ports)
    if (visibleControl(port.index)) result.push_back(snapshot(port));
  return result;
}

std::optional<PlatformParameter> Lv2Unit::parameter(uint64_t address) const {
  const Lv2Port* port = visibleControl(address);
  if (!port) return std::nullopt;
  return snapshot(*port);
}

void Lv2Unit::setValue(uint64_t address, float value) {
  if (!visibleControl(address)) return;
  values_[address] = value;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(observerMutex_);
    for (const auto& entry : observers_) observers.push_back(entry.second);
  }
  for (const auto& observer : observers) observer(address, value);
}

std::string Lv2Unit::stringFromValue(uint64_t address, float value) const {
  const Lv2Port* port = visibleControl(address);
  if (!port) return {};
  for (const auto& [pointValue, label] : port->scalePoints)
    if (pointValue == value) return label;
  return {};
}

int64_t Lv2Unit::addObserver(Observer observer) {
  std::lock_guard lock(observerMutex_);
  observers_.emplace_back(nextObserverToken_, std::move(observer));
  return nextObserverToken_++;
}

void Lv2Unit::removeObserver(int64_t token) {
  std::lock_guard lock(observerMutex_);
  std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void Lv2Unit::setValueBySymbol(const char* symbol, float value) {
  for (const auto& port : plugin_.ports)
    if (port.kind == Lv2Port::Kind::controlInput && port.symbol == symbol) values_[port.index] = value;
}

// State

namespace {

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
