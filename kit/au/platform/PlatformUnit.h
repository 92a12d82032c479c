// PlatformUnit: one instance of a plug-in unit as the hosting code drives it offline: buses and
// their formats, the frame limit, render resources, the render block with its input pull, reset,
// the offline flag, latency and tail, the parameter tree, full state and presets.
// Configuration, parameter, state and preset calls come from one control thread at a time; the
// render block runs on the render thread and allocates and locks nothing (it may try_lock).
// Units are shared by reference (std::shared_ptr).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "au/ParameterUnit.h"
#include "au/platform/AudioTypes.h"
#include "base/Json.h"

namespace quar {

// Supplies input to a unit: (flags, time stamp, frames, input bus, buffer list) -> status.
// Buffers without data may be pointed at the supplier's own memory; others are filled.
using PullInputBlock =
    std::function<AUStatus(AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t, int64_t, AudioBufferList*)>;

// Renders `frames` frames of an output bus into the list: (flags, time stamp, frames, output bus,
// output list, pull block or null) -> status. Buffers without data get the unit's own memory.
using RenderBlock = std::function<AUStatus(AudioUnitRenderActionFlags*, const AudioTimeStamp*, uint32_t, int64_t,
                                           AudioBufferList*, const PullInputBlock*)>;

// Parameter flags.
namespace parameterFlag {
inline constexpr uint32_t displayLogarithmic = 1u << 22;
inline constexpr uint32_t isReadable = 1u << 30;
inline constexpr uint32_t isWritable = 1u << 31;
} // namespace parameterFlag

// A snapshot of one parameter.
struct PlatformParameter {
  uint64_t address = 0;
  std::string identifier;
  std::string keyPath;
  std::string displayName;
  std::optional<std::string> unitName;
  uint32_t unit = parameterUnit::generic;
  float minValue = 0;
  float maxValue = 1;
  float value = 0;
  uint32_t flags = 0;
  std::optional<std::vector<std::string>> valueStrings;

  bool operator==(const PlatformParameter&) const = default;
};

// The parameters of a unit. Values may be read and set from any thread; observers are called
// synchronously on the thread that set the value.
class PlatformParameterTree {
public:
  using Observer = std::function<void(uint64_t address, float value)>;

  virtual ~PlatformParameterTree() = default;

  virtual std::vector<PlatformParameter> allParameters() const = 0;
  virtual std::optional<PlatformParameter> parameter(uint64_t address) const = 0;
  // Stores the value as given (callers clamp) and notifies every observer.
  virtual void setValue(uint64_t address, float value) = 0;
  // The unit's text for a value; empty when it has none.
  virtual std::string stringFromValue(uint64_t address, float value) const = 0;
  // Returns a token for removeObserver.
  virtual int64_t addObserver(Observer observer) = 0;
  virtual void removeObserver(int64_t token) = 0;
};

// A named preset: factory presets have numbers >= 0, user presets < 0.
struct PlatformPreset {
  int64_t number = 0;
  std::string name;

  bool operator==(const PlatformPreset&) const = default;
};

class PlatformUnit {
public:
  virtual ~PlatformUnit() = default;

  // The unit's display name, if it reports one.
  virtual std::optional<std::string> audioUnitName() const = 0;
  virtual bool isLoadedInProcess() const { return true; }

  virtual int inputBusCount() const = 0;
  virtual int outputBusCount() const = 0;
  // Sets the format of bus 0; throws PlatformError when the unit refuses it.
  virtual void setInputFormat(const AudioStreamFormat& format) = 0;
  virtual void setOutputFormat(const AudioStreamFormat& format) = 0;
  virtual void setInputEnabled(bool enabled) = 0;
  virtual void setOutputEnabled(bool enabled) = 0;

  virtual uint32_t maximumFramesToRender() const = 0;
  virtual void setMaximumFramesToRender(uint32_t frames) = 0;
  // Throws PlatformError on failure.
  virtual void allocateRenderResources() = 0;
  virtual void deallocateRenderResources() = 0;
  virtual bool renderResourcesAllocated() const = 0;
  // Valid while the unit lives; renders only while resources are allocated.
  virtual RenderBlock renderBlock() = 0;

  // Clears the unit's running state (delay lines, envelopes).
  virtual void reset() = 0;
  virtual bool isRenderingOffline() const = 0;
  virtual void setRenderingOffline(bool offline) = 0;
  virtual double latency() const { return 0; }   // seconds
  virtual double tailTime() const { return 0; }  // seconds

  // None when the unit has no parameters.
  virtual PlatformParameterTree* parameterTree() { return nullptr; }

  // The unit's whole state as a JSON document; none when it has none.
  virtual std::optional<Json> fullState() const { return std::nullopt; }
  // Throws PlatformError when the document does not fit the unit.
  virtual void setFullState(const Json&) {}
  virtual std::optional<Json> fullStateForDocument() const { return fullState(); }
  virtual void setFullStateForDocument(const Json& state) { setFullState(state); }

  virtual std::vector<PlatformPreset> factoryPresets() const { return {}; }
  virtual std::vector<PlatformPreset> userPresets() const { return {}; }
  virtual bool supportsUserPresets() const { return false; }
  virtual std::optional<PlatformPreset> currentPreset() const { return std::nullopt; }
  // Loads the preset and notifies the preset observer; unknown presets are ignored.
  virtual void setCurrentPreset(const PlatformPreset&) {}
  // Called (on the setting thread) after every change of the current preset; replaces any
  // earlier observer; an empty function removes it.
  virtual void setPresetObserver(std::function<void()>) {}
};

} // namespace quar
