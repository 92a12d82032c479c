#include "BenchSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "core/AudioContentAssembler.h"
#include "io/AudioDecoder.h"
#include "io/AudioEncoder.h"

extern char** environ;

namespace quar::bench {

namespace {

// A "Name:   N kB" line of /proc/self/status, in bytes.
int64_t statusBytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(name + ":", 0) == 0) return std::stoll(line.substr(name.size() + 1)) * 1024;
  return 0;
}

} // namespace

Timings timed(int runs, const std::function<void()>& body) {
  std::vector<double> seconds;
  for (int run = 0; run < std::max(runs, 1); ++run) {
    const Stopwatch watch;
    body();
    seconds.push_back(watch.seconds());
  }
  std::sort(seconds.begin(), seconds.end());
  return {seconds[seconds.size() / 2], seconds.back()};
}

Json json(const Timings& timings) { return {{"medianSeconds", timings.median}, {"maxSeconds", timings.max}}; }

AudioContent syntheticStereo(double minutes, int distinctBlocks) {
  constexpr double sampleRate = 48000;
  const auto frames = static_cast<int64_t>(minutes * 60 * sampleRate);
  const int64_t needed = (frames + AudioBlock::preferredFrameCount - 1) / AudioBlock::preferredFrameCount;
  std::vector<BlockRef> blocks;
  uint32_t seed = 12345;
  for (int64_t b = 0; b < std::min<int64_t>(distinctBlocks, needed); ++b) {
    std::vector<std::vector<float>> samples(2, std::vector<float>(AudioBlock::preferredFrameCount));
    for (size_t i = 0; i < samples[0].size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
      const double t = static_cast<double>(i) / sampleRate;
      const double tone = std::sin(2 * M_PI * (110 + 40 * (b % 16)) * t) * std::exp(-3 * t);
      samples[0][i] = static_cast<float>(0.7 * tone + 0.1 * noise);
      samples[1][i] = static_cast<float>(0.5 * tone - 0.1 * noise);
    }
    blocks.push_back(AudioBlock::make(std::move(samples)));
  }
  std::vector<Segment> segments;
  const auto count = static_cast<int64_t>(blocks.size());
  for (int64_t start = 0, b = 0; start < frames; start += AudioBlock::preferredFrameCount, ++b)
    segments.push_back({blocks[static_cast<size_t>(b % count)], 0,
                        std::min(AudioBlock::preferredFrameCount, frames - start)});
  return AudioContent(2, sampleRate, std::move(segments));
}

int64_t peakResidentBytes() { return statusBytes("VmHWM"); }

int64_t residentBytes() { return statusBytes("VmRSS"); }

Json residentByKind() {
  return {{"rssAnonBytes", statusBytes("RssAnon")},
          {"rssFileBytes", statusBytes("RssFile")},
          {"rssShmemBytes", statusBytes("RssShmem")}};
}

DecodedFile decodeFile(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) throw std::runtime_error("no such file: " + path.string());
  const Stopwatch watch;
  std::optional<AudioContentAssembler> assembler;
  DecodeStages stages;
  const AudioFileInfo info = AudioDecoder::decodeBlocks(
      path, {}, [&](const AudioFileInfo& format) { assembler.emplace(format.channelCount, format.sampleRate); },
      [&](int channels, int64_t start, int64_t frames) { return assembler->room(channels, start, frames); },
      AudioBlock::preferredFrameCount, &stages);
  if (!assembler || assembler->frameCount() == 0) throw std::runtime_error("no audio in " + path.string());
  AudioContent content = assembler->build();
  return {std::move(content), info, watch.seconds(), stages};
}

Json stagesJson(const DecodedFile& decoded) {
  return {{"readSeconds", decoded.stages.readSeconds},
          {"decodeSeconds", decoded.stages.decodeSeconds},
          {"joinSeconds", decoded.stages.joinSeconds},
          {"pieces", decoded.stages.pieces},
          {"wallSeconds", decoded.seconds}};
}

ExportFormat formatForExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (ExportFormat format : allCases<ExportFormat>())
    if (fileExtension(format) == extension) return format;
  throw std::runtime_error("no output format has the extension “" + extension + "”");
}

void writeAudio(const AudioSource& source, const std::filesystem::path& path, const EncodeSettings& settings) {
  AudioEncoder::write(source, std::nullopt, path, settings);
}

Json timingJson(const DecodedFile& input, double seconds, double writeSeconds) {
  Json json;
  json["frames"] = input.content.frameCount();
  json["channels"] = input.content.channelCount();
  json["sampleRate"] = input.content.sampleRate();
  json["decodeSeconds"] = input.seconds;
  json["seconds"] = seconds;
  json["writeSeconds"] = writeSeconds;
  json["peakResidentBytes"] = peakResidentBytes();
  return json;
}

namespace {

class SpawnActions {
public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

private:
  posix_spawn_file_actions_t actions_;
};

std::string readAll(int fd) {
  std::string text;
  char buffer[65536];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// This environment with glibc's allocator set to back the heap with transparent huge pages:
// decoded content touches hundreds of MiB, and one fault per 2 MiB instead of per 4 KiB saves
// most of the decode time on virtual machines.
std::vector<std::string> childEnvironment() {
  constexpr const char* tunables =
      "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432:glibc.malloc.top_pad=16777216";
  std::vector<std::string> variables;
  std::string merged = std::string("GLIBC_TUNABLES=") + tunables;
  for (char** variable = environ; *variable; ++variable) {
    const std::string text = *variable;
    if (text.rfind("GLIBC_TUNABLES=", 0) == 0) merged += ":" + text.substr(15);
    else variables.push_back(text);
  }
  variables.push_back(merged);
  return variables;
}

} // namespace

ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments, bool captureOutput) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  static const std::vector<std::string> environment = childEnvironment();
  std::vector<char*> envp;
  for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);

  // Output goes to an unlinked temporary file, read back after the exit.
  int outputFd = -1;
  if (captureOutput) {
    std::string name = (std::filesystem::temp_directory_path() / "quar-bench-out-XXXXXX").string();
    outputFd = mkostemp(name.data(), O_CLOEXEC);
    if (outputFd < 0) throw std::runtime_error("can’t create a temporary file");
    unlink(name.c_str());
  }
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  if (captureOutput) posix_spawn_file_actions_adddup2(actions.get(), outputFd, 1);
  else posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);

  ChildRun run;
  const Stopwatch watch;
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv.data(), envp.data());
  if (error != 0) {
    if (outputFd >= 0) close(outputFd);
    throw std::runtime_error("couldn’t launch " + program);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
  run.seconds = watch.seconds();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.peakResidentBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec * 1e-6; };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  if (captureOutput) {
    run.output = readAll(outputFd);
    close(outputFd);
  }
  return run;
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::istringstream folders(path);
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && access((std::filesystem::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

} // namespace quar::bench
