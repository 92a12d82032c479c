// Shared helpers of the io tests: a temporary folder removed afterwards, fixture files made
// with sox and ffmpeg, and ffmpeg's own decoding as the reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include <algorithm>
#include <unistd.h>

#include "io/DecodeHandlers.h"
#include "io/Subprocess.h"

namespace quar::testing {

class TempFolder {
public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quar-io-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

// Rooms on the heap for AudioDecoder::decodeBlocks: finishing one hands its frames to `onBlock`
// as arrays (one per channel), on the finishing thread.
using ArrayBlockHandler = std::function<void(std::vector<std::vector<float>>&& channels, int64_t start)>;
inline DecodeRoomHandler arrayRooms(ArrayBlockHandler onBlock) {
  class Room final : public BlockRoom {
  public:
    Room(const ArrayBlockHandler& onBlock, int channels, int64_t start, int64_t frames)
        : onBlock_(onBlock), start_(start),
          channels_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames))) {
      for (auto& channel : channels_) pointers_.push_back(channel.data());
    }
    std::span<float* const> channels() override { return pointers_; }
    void finish(int64_t frames) override {
      for (auto& channel : channels_) channel.resize(static_cast<size_t>(frames));
      onBlock_(std::move(channels_), start_);
    }

  private:
    const ArrayBlockHandler& onBlock_;
    int64_t start_;
    std::vector<std::vector<float>> channels_;
    std::vector<float*> pointers_;
  };
  return [onBlock = std::move(onBlock)](int channels, int64_t start, int64_t frames) -> std::unique_ptr<BlockRoom> {
    return std::make_unique<Room>(onBlock, channels, start, frames);
  };
}

// The named program found on PATH, or an empty path.
inline std::filesystem::path findTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(start, end - start)) / name;
    if (!candidate.parent_path().empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Runs a tool that must succeed; returns its standard output.
inline std::vector<uint8_t> runTool(const std::string& name, const std::vector<std::string>& arguments) {
  const auto tool = findTool(name);
  EXPECT_FALSE(tool.empty()) << name << " is not installed";
  const auto result = Subprocess::run(tool, arguments);
  EXPECT_EQ(result.status, 0) << name << ": " << result.stderr;
  return result.stdout;
}

inline void ffmpeg(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"-nostdin", "-v", "error", "-y"});
  runTool("ffmpeg", arguments);
}

inline void sox(const std::vector<std::string>& arguments) { runTool("sox", arguments); }

// One output file of an ffmpeg run and the options that precede it.
struct FfmpegOutput {
  std::filesystem::path file;
  std::vector<std::string> options;
};

// Writes every output from one input in a single ffmpeg run (ffmpeg is slow to start).
inline void ffmpegOutputs(const std::vector<std::string>& input, const std::vector<FfmpegOutput>& outputs) {
  std::vector<std::string> arguments = input;
  for (const auto& output : outputs) {
    arguments.insert(arguments.end(), output.options.begin(), output.options.end());
    arguments.push_back(output.file.string());
  }
  ffmpeg(arguments);
}

// ffmpeg's own decoding of each file (`ffmpeg -i f -f f32le -`): interleaved 32-bit floats.
inline std::vector<std::vector<float>> ffmpegSamples(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> arguments;
  for (const auto& file : files) arguments.insert(arguments.end(), {"-i", file.string()});
  std::vector<std::filesystem::path> raw;
  for (size_t i = 0; i < files.size(); ++i) {
    raw.push_back(files[i].string() + ".f32");
    arguments.insert(arguments.end(), {"-map", std::to_string(i) + ":a:0", "-f", "f32le", raw.back().string()});
  }
  ffmpeg(arguments);
  std::vector<std::vector<float>> result;
  for (const auto& file : raw) {
    const auto size = std::filesystem::file_size(file);
    std::vector<float> samples(size / sizeof(float));
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    EXPECT_EQ(std::fread(samples.data(), sizeof(float), samples.size(), stream), samples.size());
    std::fclose(stream);
    result.push_back(std::move(samples));
  }
  return result;
}

inline std::vector<float> ffmpegSamples(const std::filesystem::path& file) { return ffmpegSamples(std::vector{file}).front(); }

// A file's bytes, and a file written with exactly these bytes.
inline std::vector<uint8_t> bytesOf(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

inline void writeBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Rewrites the total frame count in a FLAC file's STREAMINFO (it follows "fLaC" and the block's
// 4-byte header; the total is the low 4 bits of its byte 13 and bytes 14 to 17).
inline void setFlacTotal(const std::filesystem::path& file, uint64_t frames) {
  std::vector<uint8_t> bytes = bytesOf(file);
  uint8_t* total = bytes.data() + 8 + 13;
  total[0] = static_cast<uint8_t>((total[0] & 0xF0) | ((frames >> 32) & 0x0F));
  for (int i = 0; i < 4; ++i) total[1 + i] = static_cast<uint8_t>(frames >> (24 - 8 * i));
  writeBytes(file, bytes);
}

} // namespace quar::testing
