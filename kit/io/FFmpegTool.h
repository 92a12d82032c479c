// FFmpegTool: finds the external `ffmpeg` and `ffprobe` programs that decode what the native
// reader cannot. The installed locations are looked up once per process (thread-safe) and
// only read afterwards; a tool installed later is seen at the next launch. Operations that
// run the tools take an FFmpegTools value, so callers (and tests) can name other locations.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quar {

// Where the two programs are; either may be missing.
struct FFmpegTools {
  std::optional<std::filesystem::path> ffmpeg;
  std::optional<std::filesystem::path> ffprobe;

  bool operator==(const FFmpegTools&) const = default;
};

struct FFmpegTool {
  // Searched before the directories of PATH, in this order.
  static constexpr std::array<std::string_view, 3> fixedDirectories{"/opt/homebrew/bin", "/usr/local/bin",
                                                                    "/usr/bin"};

  // The first executable non-directory named `name` in the fixed directories, then in PATH.
  static std::optional<std::filesystem::path> locate(std::string_view name);
  // The same search over the given directories, then the entries of `pathVariable` (split at
  // ':', empty entries dropped; none when absent). Each directory is tried once.
  static std::optional<std::filesystem::path> locate(std::string_view name,
                                                     const std::vector<std::string>& directories,
                                                     const std::optional<std::string>& pathVariable);

  // The installed tools, located on first use.
  static const std::optional<std::filesystem::path>& ffmpegURL();
  static const std::optional<std::filesystem::path>& ffprobeURL();
  static const FFmpegTools& installed();
};

} // namespace quar
