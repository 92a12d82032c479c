#include "io/FFmpegTool.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace quar {

std::optional<std::filesystem::path> FFmpegTool::locate(std::string_view name) {
  const char* path = std::getenv("PATH");
  return locate(name, {fixedDirectories.begin(), fixedDirectories.end()},
                path ? std::optional<std::string>(path) : std::nullopt);
}

std::optional<std::filesystem::path> FFmpegTool::locate(std::string_view name,
                                                        const std::vector<std::string>& directories,
                                                        const std::optional<std::string>& pathVariable) {
  std::vector<std::string> candidates = directories;
  if (pathVariable) {
    size_t start = 0;
    while (start <= pathVariable->size()) {
      const size_t end = std::min(pathVariable->find(':', start), pathVariable->size());
      if (end > start) candidates.push_back(pathVariable->substr(start, end - start));
      start = end + 1;
    }
  }
  std::vector<std::string> tried;
  for (const auto& directory : candidates) {
    if (directory.empty() || std::find(tried.begin(), tried.end(), directory) != tried.end()) continue;
    tried.push_back(directory);
    const std::filesystem::path candidate = std::filesystem::path(directory) / name;
    std::error_code error;
    const auto status = std::filesystem::status(candidate, error);
    if (error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) continue;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

const std::optional<std::filesystem::path>& FFmpegTool::ffmpegURL() {
  static const auto url = locate("ffmpeg");
  return url;
}

const std::optional<std::filesystem::path>& FFmpegTool::ffprobeURL() {
  static const auto url = locate("ffprobe");
  return url;
}

const FFmpegTools& FFmpegTool::installed() {
  static const FFmpegTools tools{ffmpegURL(), ffprobeURL()};
  return tools;
}

} // namespace quar
