// Helpers of the FFmpeg tests: stand-in tools (shell scripts and the recording wrapper of
// fixtures/), a temporary folder for the decoder's own temporary files, a decode that collects
// what its callbacks received, the error a call throws, and waiting for a process to end.
#pragma once

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/QuarError.h"
#include "io/FFmpegTool.h"
#include "io/platform/CoreAudioFileReader.h"

namespace quar::testing {

// The QuarError that `call` throws, if any.
template <typename Call>
std::optional<QuarError> errorOf(Call call) {
  try {
    call();
  } catch (const QuarError& error) {
    return error;
  }
  return std::nullopt;
}

// Waits until process `pid` (not necessarily a child) has ended, through a process file
// descriptor; true once it has, at once when it is already gone. A process that never ends
// leaves the test to its time-out.
inline bool processEnds(pid_t pid) {
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return errno == ESRCH;
  pollfd entry{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, -1);
  } while (ready < 0 && errno == EINTR);
  ::close(fd);
  return ready == 1;
}

// The process id written in `file`, or 0.
inline pid_t pidIn(const std::filesystem::path& file) {
  std::ifstream stream(file);
  pid_t pid = 0;
  stream >> pid;
  return pid;
}

// An executable shell script `file` running `body`.
inline std::filesystem::path shellTool(const std::filesystem::path& file, const std::string& body) {
  std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
  std::filesystem::permissions(file, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
  return file;
}

// Links named "ffmpeg" and "ffprobe" in `folder` to the recording wrapper, which runs the
// installed tool of that name and leaves "<link>.args" and "<link>.pid" behind.
inline FFmpegTools recordingTools(const std::filesystem::path& folder) {
  const auto wrapper = std::filesystem::path(QUAR_TEST_IO_FIXTURES) / "record-tool.sh";
  std::filesystem::create_symlink(wrapper, folder / "ffmpeg");
  std::filesystem::create_symlink(wrapper, folder / "ffprobe");
  return {folder / "ffmpeg", folder / "ffprobe"};
}

inline std::vector<std::string> recordedLines(const std::filesystem::path& file) {
  std::ifstream stream(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Points TMPDIR at `folder` for the object's lifetime.
class TemporaryFolderOverride {
public:
  explicit TemporaryFolderOverride(const std::filesystem::path& folder) {
    if (const char* value = std::getenv("TMPDIR")) previous_ = value;
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolderOverride() {
    if (previous_) ::setenv("TMPDIR", previous_->c_str(), 1);
    else ::unsetenv("TMPDIR");
  }
  TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
  TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

private:
  std::optional<std::string> previous_;
};

// What a decode handed to its callbacks.
struct Collected {
  AudioFileInfo info;
  AudioFileInfo announced;
  int formatCalls = 0;
  bool chunkBeforeFormat = false;
  std::vector<int64_t> chunkSizes;
  std::vector<std::vector<float>> channels;
  std::vector<double> progress;

  // Frames interleaved, for comparison with ffmpeg's own output.
  std::vector<float> interleaved() const {
    std::vector<float> samples;
    for (size_t f = 0; !channels.empty() && f < channels.front().size(); ++f)
      for (const auto& channel : channels) samples.push_back(channel[f]);
    return samples;
  }
};

// Runs `decode(progress, onFormat, onChunk)` with collecting callbacks.
template <typename Decode>
Collected collect(Decode decode) {
  Collected collected;
  collected.info = decode(
      [&](double fraction) {
        collected.progress.push_back(fraction);
        return true;
      },
      [&](const AudioFileInfo& info) {
        ++collected.formatCalls;
        collected.announced = info;
        collected.channels.resize(static_cast<size_t>(info.channelCount));
      },
      [&](ChannelViews chunk) {
        if (collected.formatCalls == 0) collected.chunkBeforeFormat = true;
        collected.chunkSizes.push_back(static_cast<int64_t>(chunk.front().size()));
        collected.channels.resize(chunk.size());
        for (size_t c = 0; c < chunk.size(); ++c)
          collected.channels[c].insert(collected.channels[c].end(), chunk[c].begin(), chunk[c].end());
      });
  return collected;
}

} // namespace quar::testing
