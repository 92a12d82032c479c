// Test helpers: a temporary folder that removes itself, and ffprobe/ffmpeg run on written
// files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/Uuid.h"

namespace quar::test {

class TemporaryFolder {
public:
  TemporaryFolder() : path_(std::filesystem::temp_directory_path() / ("quar-io-" + Uuid::random().uuidString())) {
    std::filesystem::create_directories(path_);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

// Standard output of a shell command (stderr discarded).
inline std::string runCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[65536];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

inline std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// The first audio stream's fields as ffprobe reports them ("codec_name", "sample_rate", ...).
inline std::map<std::string, std::string> probeStream(const std::filesystem::path& file) {
  const std::string text = runCommand(
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=codec_name,sample_fmt,sample_rate,channels,channel_layout,bits_per_sample,bits_per_raw_sample,"
      "duration_ts,time_base -of default=noprint_wrappers=1 " +
      quoted(file));
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (const size_t equals = line.find('='); equals != std::string::npos)
      fields[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return fields;
}

// The file decoded by ffmpeg as interleaved little-endian samples ("s32le" or "f32le") in the
// stream's own channel layout.
template <typename Sample>
std::vector<Sample> decodeFile(const std::filesystem::path& file, const std::string& format) {
  const std::string bytes = runCommand("ffmpeg -v error -i " + quoted(file) + " -f " + format + " -");
  std::vector<Sample> samples(bytes.size() / sizeof(Sample));
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(Sample));
  return samples;
}

} // namespace quar::test
