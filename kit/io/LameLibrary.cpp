#include "io/LameLibrary.h"

#include <dlfcn.h>

#include <system_error>

namespace quar {

namespace {

constexpr const char* libraryName = "libmp3lame.so.0";

// Resolves `name` into `entry`; false when the library lacks it.
template <typename Function>
bool resolve(void* handle, const char* name, Function& entry) {
  void* symbol = ::dlsym(handle, name);
  entry = reinterpret_cast<Function>(symbol);
  return symbol != nullptr;
}

std::filesystem::path executableFolder() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : executable.parent_path();
}

} // namespace

const LameLibrary* LameLibrary::shared() {
  static const std::unique_ptr<LameLibrary> library = load(searchPaths());
  return library.get();
}

std::vector<std::filesystem::path> LameLibrary::searchPaths() {
  std::vector<std::filesystem::path> paths;
  if (const auto folder = executableFolder(); !folder.empty()) paths.push_back(folder / "lib" / libraryName);
  paths.emplace_back(libraryName);
#ifdef QUAR_MULTIARCH
  paths.push_back(std::filesystem::path("/usr/lib") / QUAR_MULTIARCH / libraryName);
#endif
  return paths;
}

std::unique_ptr<LameLibrary> LameLibrary::load(const std::vector<std::filesystem::path>& candidates) {
  for (const auto& candidate : candidates) {
    const bool byName = candidate.native().find('/') == std::string::npos;
    std::error_code error;
    if (!byName && !std::filesystem::is_regular_file(candidate, error)) continue;
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) continue;

    std::unique_ptr<LameLibrary> library(new LameLibrary);
    LameLibrary& l = *library;
    const bool complete =
        resolve(handle, "lame_init", l.lame_init) &&
        resolve(handle, "lame_set_in_samplerate", l.lame_set_in_samplerate) &&
        resolve(handle, "lame_set_num_channels", l.lame_set_num_channels) &&
        resolve(handle, "lame_set_out_samplerate", l.lame_set_out_samplerate) &&
        resolve(handle, "lame_set_brate", l.lame_set_brate) &&
        resolve(handle, "lame_set_mode", l.lame_set_mode) &&
        resolve(handle, "lame_set_quality", l.lame_set_quality) &&
        resolve(handle, "lame_set_VBR", l.lame_set_VBR) &&
        resolve(handle, "lame_set_bWriteVbrTag", l.lame_set_bWriteVbrTag) &&
        resolve(handle, "lame_init_params", l.lame_init_params) &&
        resolve(handle, "lame_encode_buffer_ieee_float", l.lame_encode_buffer_ieee_float) &&
        resolve(handle, "lame_encode_flush", l.lame_encode_flush) &&
        resolve(handle, "lame_get_lametag_frame", l.lame_get_lametag_frame) &&
        resolve(handle, "lame_get_encoder_delay", l.lame_get_encoder_delay) &&
        resolve(handle, "lame_get_encoder_padding", l.lame_get_encoder_padding) &&
        resolve(handle, "lame_close", l.lame_close);
    if (!complete) {
      ::dlclose(handle);
      continue;
    }
    // The library stays loaded for the rest of the process: its functions outlive any writer.
    using Version = const char* (*)();
    Version version = nullptr;
    const char* text = resolve(handle, "get_lame_version", version) ? version() : nullptr;
    l.versionString_ = text ? text : "unknown";
    l.path_ = candidate.string();
    return library;
  }
  return nullptr;
}

} // namespace quar
