#include "recording/SafetyFile.h"

#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <system_error>

namespace {

// What the system said about the last failed call, else libsndfile's own text.
std::string failure(SNDFILE* file, int systemError) {
  if (systemError != 0) return std::error_code(systemError, std::generic_category()).message();
  return sf_strerror(file);
}

} // namespace

std::unique_ptr<SafetyFile> SafetyFile::create(const std::filesystem::path& path, double sampleRate, int channels,
                                               std::string* error) {
  if (channels < 1 || !(sampleRate >= 1) || sampleRate > 1e9) {
    if (error) *error = "unsupported format";
    return nullptr;
  }
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  SF_INFO info{};
  info.samplerate = static_cast<int>(std::lround(sampleRate));
  info.channels = channels;
  info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
  errno = 0;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    if (error) *error = failure(nullptr, errno);
    return nullptr;
  }
  sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return std::unique_ptr<SafetyFile>(new SafetyFile(file, channels));
}

SafetyFile::~SafetyFile() { sf_close(file_); }

bool SafetyFile::write(std::span<const std::vector<float>> channels, int frames, std::string* error) {
  if (frames <= 0 || channels.size() != static_cast<size_t>(channels_)) return frames == 0;
  interleaved_.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels_));
  for (int c = 0; c < channels_; ++c) {
    const float* source = channels[static_cast<size_t>(c)].data();
    for (int i = 0; i < frames; ++i) interleaved_[static_cast<size_t>(i * channels_ + c)] = source[i];
  }
  errno = 0;
  if (sf_writef_float(file_, interleaved_.data(), frames) == frames) return true;
  if (error) *error = failure(file_, errno);
  return false;
}
