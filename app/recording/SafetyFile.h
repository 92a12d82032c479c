// SafetyFile: the copy of a take written while it is being captured: a CAF file of 32-bit float
// samples (libsndfile) whose header is brought up to date after every write, so that the file
// stays readable when the program ends during a take. One thread at a time; not for the audio
// thread (it writes to disk). Plain C++.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct sf_private_tag;

class SafetyFile {
public:
  // Creates (replacing) the file at `path` for `channels` channels at `sampleRate` Hz, making
  // its folder first; none when the file cannot be made, with the reason in `error` when given.
  static std::unique_ptr<SafetyFile> create(const std::filesystem::path& path, double sampleRate, int channels,
                                            std::string* error = nullptr);
  ~SafetyFile();
  SafetyFile(const SafetyFile&) = delete;
  SafetyFile& operator=(const SafetyFile&) = delete;

  // Appends `frames` frames of one planar buffer per channel; false when the write failed (a
  // full disk), with the reason in `error` when given.
  bool write(std::span<const std::vector<float>> channels, int frames, std::string* error = nullptr);

private:
  SafetyFile(sf_private_tag* file, int channels) : file_(file), channels_(channels) {}

  sf_private_tag* file_;
  int channels_;
  std::vector<float> interleaved_;
};
