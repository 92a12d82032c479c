// LameLibrary: the MP3 encoder library (libmp3lame), found and loaded at run time rather than
// linked, with the entry points the MP3 writer calls. The shared instance is resolved once per
// process (thread-safe) and never unloaded; a loaded library is immutable and may be shared.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quar {

// LAME's opaque encoder state.
struct LameEncoder;

class LameLibrary {
public:
  using Init = LameEncoder* (*)();
  using SetInt = int (*)(LameEncoder*, int);
  using Call = int (*)(LameEncoder*);
  using EncodeFloat = int (*)(LameEncoder*, const float* left, const float* right, int frames,
                              unsigned char* out, int outSize);
  using Flush = int (*)(LameEncoder*, unsigned char* out, int outSize);
  using LametagFrame = size_t (*)(const LameEncoder*, unsigned char* out, size_t outSize);
  using GetInt = int (*)(const LameEncoder*);

  // The library of the first candidate that loads and exports every entry point; null when
  // none does.
  static const LameLibrary* shared();
  // Candidates in order: the private library folder beside the executable, the dynamic
  // loader's own search for "libmp3lame.so.0", the multiarch library folder.
  static std::vector<std::filesystem::path> searchPaths();
  // Loads the first passing candidate. A candidate holding a '/' must exist as a file; a bare
  // file name is left to the dynamic loader's search.
  static std::unique_ptr<LameLibrary> load(const std::vector<std::filesystem::path>& candidates);

  LameLibrary(const LameLibrary&) = delete;
  LameLibrary& operator=(const LameLibrary&) = delete;

  // The candidate it was loaded from.
  const std::string& path() const { return path_; }
  // get_lame_version()'s text, or "unknown" when the library lacks it.
  const std::string& versionString() const { return versionString_; }

  Init lame_init = nullptr;
  SetInt lame_set_in_samplerate = nullptr;
  SetInt lame_set_num_channels = nullptr;
  SetInt lame_set_out_samplerate = nullptr;
  SetInt lame_set_brate = nullptr;
  SetInt lame_set_mode = nullptr;
  SetInt lame_set_quality = nullptr;
  SetInt lame_set_VBR = nullptr;
  SetInt lame_set_bWriteVbrTag = nullptr;
  Call lame_init_params = nullptr;
  EncodeFloat lame_encode_buffer_ieee_float = nullptr;
  Flush lame_encode_flush = nullptr;
  LametagFrame lame_get_lametag_frame = nullptr;
  GetInt lame_get_encoder_delay = nullptr;
  GetInt lame_get_encoder_padding = nullptr;
  Call lame_close = nullptr;

private:
  LameLibrary() = default;

  std::string path_;
  std::string versionString_;
};

} // namespace quar
