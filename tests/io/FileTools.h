// Test helpers for written files: ffprobe's view of the first audio stream and ffmpeg's
// decoding as raw interleaved samples.
#pragma once

#include <cstdint>
#include <cstdio>
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
                  "bits_per_raw_sample,duration_ts,bit_rate",
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

// Each file decoded by ffmpeg, in one run, as interleaved little-endian samples of `format`
// ("s32le", "f32le") in the stream's own channel layout.
template <typename Sample>
std::vector<std::vector<Sample>> decodeFiles(const std::vector<std::filesystem::path>& files, const std::string& format) {
  std::vector<std::string> arguments;
  for (const auto& file : files) arguments.insert(arguments.end(), {"-i", file.string()});
  std::vector<FfmpegOutput> outputs;
  for (size_t i = 0; i < files.size(); ++i)
    outputs.push_back({files[i].string() + ".raw", {"-map", std::to_string(i) + ":a:0", "-f", format}});
  ffmpegOutputs(arguments, outputs);
  std::vector<std::vector<Sample>> result;
  for (const auto& output : outputs) {
    std::vector<Sample> samples(std::filesystem::file_size(output.file) / sizeof(Sample));
    std::FILE* stream = std::fopen(output.file.c_str(), "rb");
    EXPECT_EQ(std::fread(samples.data(), sizeof(Sample), samples.size(), stream), samples.size());
    std::fclose(stream);
    result.push_back(std::move(samples));
  }
  return result;
}

template <typename Sample>
std::vector<Sample> decodeFile(const std::filesystem::path& file, const std::string& format) {
  return decodeFiles<Sample>({file}, format).front();
}

} // namespace quar::testing
