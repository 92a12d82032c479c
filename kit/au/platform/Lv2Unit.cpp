#include "au/platform/Lv2Unit.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/parameters/parameters.h>

#include "au/platform/PlatformError.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr size_t atomCapacity = 8192;  // bytes per atom port

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

} // namespace quar
