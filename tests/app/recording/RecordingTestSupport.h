// Shared helpers of the recording tests: a device layer with a made-up device list whose input
// streams run on a null device, input signals for the null device, and reading a safety file
// back with libsndfile. Plain C++.
#pragma once

#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/NullAudioBackend.h"

namespace RecordingTestSupport {

// A device layer listing `devices` with `defaultInput` as its default input; input streams of a
// listed input device run on a manual-clock null device with that device's channels and rate.
class FakeBackend final : public AudioBackend {
public:
  FakeBackend(std::vector<AudioDeviceInfo> devices, std::optional<int> defaultInput)
      : devices_(std::move(devices)), defaultInput_(defaultInput), null_(NullAudioBackend::Clock::manual) {}

  void setDevices(std::vector<AudioDeviceInfo> devices) { devices_ = std::move(devices); }
  std::vector<AudioDeviceInfo> devices() override { return devices_; }
  void refreshDevices() override { ++refreshes; }
  std::optional<int> defaultOutputDevice() override { return std::nullopt; }
  std::optional<int> defaultInputDevice() override { return defaultInput_; }
  bool supportsOutput(const AudioStreamFormat&) override { return false; }
  std::unique_ptr<AudioStream> openOutput(const AudioStreamFormat&, AudioRenderCallback) override {
    throw std::runtime_error("No audio output device");
  }
  std::unique_ptr<AudioStream> openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) override {
    null_.setInput(format.channels, format.sampleRate);
    return null_.openInput({std::nullopt, format.channels, format.sampleRate}, std::move(capture));
  }
  NullAudioBackend& null() { return null_; }

  int refreshes = 0;

private:
  std::vector<AudioDeviceInfo> devices_;
  std::optional<int> defaultInput_;
  NullAudioBackend null_;
};

// An input signal: channel c of every captured frame holds `level` * (c + 1).
inline NullAudioBackend::InputSource steady(float level) {
  return [level](float* const* inputs, int channels, int frames) {
    for (int c = 0; c < channels; ++c)
      for (int f = 0; f < frames; ++f) inputs[c][f] = level * static_cast<float>(c + 1);
  };
}

// An input signal counting frames: channel c of the n-th frame since the source was made holds
// (n % 1000) / 1000 + c / 10000.
inline NullAudioBackend::InputSource counting() {
  auto position = std::make_shared<std::atomic<int64_t>>(0);
  return [position](float* const* inputs, int channels, int frames) {
    const int64_t start = position->fetch_add(frames);
    for (int c = 0; c < channels; ++c)
      for (int f = 0; f < frames; ++f)
        inputs[c][f] = static_cast<float>((start + f) % 1000) / 1000 + static_cast<float>(c) / 10000;
  };
}

// The samples of an audio file, channel by channel; empty when it cannot be read.
inline std::vector<std::vector<float>> readFile(const std::filesystem::path& path, SF_INFO* format = nullptr) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  std::vector<std::vector<float>> channels(static_cast<size_t>(info.channels));
  for (sf_count_t f = 0; f < info.frames; ++f)
    for (int c = 0; c < info.channels; ++c)
      channels[static_cast<size_t>(c)].push_back(interleaved[static_cast<size_t>(f * info.channels + c)]);
  if (format) *format = info;
  return channels;
}

// While it lives, no file of this process may grow past `bytes`: a write beyond fails as on a
// full disk (EFBIG instead of ENOSPC), for every thread. `active()` is false where the limit
// cannot be set.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (getrlimit(RLIMIT_FSIZE, &previous_) != 0) return;
    previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    const rlimit limited{bytes, previous_.rlim_max};
    active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    if (active_) setrlimit(RLIMIT_FSIZE, &previous_);
    if (previousSignal_ != SIG_ERR) std::signal(SIGXFSZ, previousSignal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

private:
  rlimit previous_{};
  void (*previousSignal_)(int) = SIG_ERR;
  bool active_ = false;
};

// A fresh folder under the system's temporary folder, removed with the object.
class TemporaryFolder {
public:
  TemporaryFolder() {
    static std::atomic<int> counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("quarnel-recording-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

} // namespace RecordingTestSupport
