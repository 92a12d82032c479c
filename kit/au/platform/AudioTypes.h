// The plain shapes that hosting code and plug-in units exchange: four-character codes,
// component descriptions, statuses, render-action flags, time stamps, buffer lists and stream
// formats. All are trivially copyable values; every operation here is audio-thread safe except
// AudioBufferListStorage construction, which allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "base/FourCharCode.h"

namespace quar {

namespace componentType {
inline constexpr uint32_t effect = fourCharCode("aufx");
inline constexpr uint32_t musicEffect = fourCharCode("aumf");
inline constexpr uint32_t musicDevice = fourCharCode("aumu");
inline constexpr uint32_t generator = fourCharCode("augn");
inline constexpr uint32_t formatConverter = fourCharCode("aufc");
} // namespace componentType

inline constexpr uint32_t appleManufacturer = fourCharCode("appl");

// Names one component. A zero type, subtype or manufacturer in a query matches any value.
struct AudioComponentDescription {
  uint32_t componentType = 0;
  uint32_t componentSubType = 0;
  uint32_t componentManufacturer = 0;
  uint32_t componentFlags = 0;
  uint32_t componentFlagsMask = 0;

  bool operator==(const AudioComponentDescription&) const = default;
};

// Component flag of units built on the version-3 unit interface.
inline constexpr uint32_t componentFlagIsV3 = 4;

// Instantiation options; this platform loads every unit in process and ignores the out-of-process
// request, but keeps its raw value.
enum class InstantiationOptions : uint32_t { none = 0, loadOutOfProcess = 1 };

// Result of platform calls: 0 is success.
using AUStatus = int32_t;

namespace auStatus {
inline constexpr AUStatus noErr = 0;
inline constexpr AUStatus componentNotFound = -3000;
inline constexpr AUStatus invalidParameter = -10878;
inline constexpr AUStatus invalidElement = -10877;
inline constexpr AUStatus noConnection = -10876;
inline constexpr AUStatus failedInitialization = -10875;
inline constexpr AUStatus tooManyFramesToProcess = -10874;
inline constexpr AUStatus formatNotSupported = -10868;
inline constexpr AUStatus uninitialized = -10867;
inline constexpr AUStatus cannotDoInCurrentContext = -10863;
inline constexpr AUStatus initialized = -10849;
} // namespace auStatus

using AudioUnitRenderActionFlags = uint32_t;

struct AudioTimeStamp {
  static constexpr uint32_t sampleTimeValid = 1;

  double mSampleTime = 0;  // frames
  uint64_t mHostTime = 0;
  double mRateScalar = 0;
  uint64_t mWordClockTime = 0;
  uint32_t mFlags = 0;
  uint32_t mReserved = 0;
};

// One buffer of a list: here always one channel of 32-bit floats.
struct AudioBuffer {
  uint32_t mNumberChannels = 0;
  uint32_t mDataByteSize = 0;  // bytes
  void* mData = nullptr;
};

// A counted list of buffers laid out like the platform's: the buffers follow the count in one
// block (see AudioBufferListStorage, which makes room for more than one).
struct AudioBufferList {
  uint32_t mNumberBuffers = 0;
  AudioBuffer mBuffers[1];
};

// The mNumberBuffers buffers of a list.
inline std::span<AudioBuffer> buffers(AudioBufferList& list) {
  return {list.mBuffers, list.mNumberBuffers};
}

// Owns one AudioBufferList with room for `capacity` (at least 1) buffers; mNumberBuffers starts
// at `capacity` and every buffer empty.
class AudioBufferListStorage {
public:
  explicit AudioBufferListStorage(uint32_t capacity);
  AudioBufferListStorage(const AudioBufferListStorage&) = delete;
  AudioBufferListStorage& operator=(const AudioBufferListStorage&) = delete;

  AudioBufferList* get() const { return list_; }
  uint32_t capacity() const { return capacity_; }

private:
  std::unique_ptr<std::byte[]> bytes_;
  AudioBufferList* list_;
  uint32_t capacity_;
};

// The format of one bus: deinterleaved 32-bit float at a rate, with an explicit channel layout
// tag for more than two channels.
struct AudioStreamFormat {
  double sampleRate = 0;  // Hz
  uint32_t channelCount = 0;
  bool isInterleaved = false;
  std::optional<uint32_t> channelLayoutTag;

  bool operator==(const AudioStreamFormat&) const = default;
};

// The discrete-in-order layout family: (147 << 16) | channel count.
inline constexpr uint32_t discreteInOrderLayoutTag = 147u << 16;

} // namespace quar
