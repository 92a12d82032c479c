// Test helpers for written files: ffprobe's view of the first audio stream and ffmpeg's
// decoding as raw interleaved samples.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "IoTestSupport.h"

namespace quar::testing {

// The first audio stream's fields as ffprobe reports them ("codec_name", "sample_rate", ...).
inline std::map<std::string, std::string> probeStream(const std::filesystem::path& file) {
  const auto output = runTool(
      "ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                  "stream=codec_name,sample_fmt,sample_rate,channels,channel_layout,bits_per_sample,"
                  "bits_per_raw_sample,duration_ts",
                  "-of", "default=noprint_wrappers=1", file.string()});
  const std::string text(output.begin(), output.end());
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

// The file decoded by ffmpeg as interleaved little-endian samples of `format` ("s32le",
// "f32le") in the stream's own channel layout.
template <typename Sample>
std::vector<Sample> decodeFile(const std::filesystem::path& file, const std::string& format) {
  const auto bytes = runTool("ffmpeg", {"-nostdin", "-v", "error", "-i", file.string(), "-f", format, "-"});
  std::vector<Sample> samples(bytes.size() / sizeof(Sample));
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(Sample));
  return samples;
}

} // namespace quar::testing
