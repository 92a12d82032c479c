// Shared pieces of quar-bench: a wall-clock stopwatch and repeated timings, the process's peak
// resident memory, decoding a file into content, synthetic documents, choosing output settings,
// writing output files, and running child programs with their time and peak memory. Everything
// runs on the caller's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/AudioFormats.h"
#include "base/AudioSource.h"
#include "base/Json.h"
#include "core/AudioContent.h"
#include "io/DecodeStages.h"

namespace quar::bench {

class Stopwatch {
public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
  std::chrono::steady_clock::time_point start_;
};

// The median and the largest of several timings, in seconds.
struct Timings {
  double median = 0;
  double max = 0;
};
// Times `runs` (at least 1) calls of `body`.
Timings timed(int runs, const std::function<void()>& body);
Json json(const Timings& timings);

// The high-water mark of this process's resident memory in bytes (VmHWM).
int64_t peakResidentBytes();
// This process's resident memory now, in bytes (VmRSS).
int64_t residentBytes();
// This process's resident memory now by kind, in bytes: anonymous (the heap: what the kernel
// cannot drop without swap), file-backed and shared (pages it can write out and drop), as
// {"rssAnonBytes", "rssFileBytes", "rssShmemBytes"}.
Json residentByKind();

struct DecodedFile {
  AudioContent content;
  AudioFileInfo info;
  double seconds = 0;  // time to decode into content, summaries included
  DecodeStages stages;
};

// Decodes the whole file into content; throws QuarError for a missing or undecodable file.
DecodedFile decodeFile(const std::filesystem::path& path);
// The stages of a decode: `readSeconds`, `decodeSeconds`, `joinSeconds` (thread time summed
// over the threads), `pieces`, and `wallSeconds`, the decode's own time.
Json stagesJson(const DecodedFile& decoded);

// Stereo 48 kHz audio of `minutes` held in memory: `distinctBlocks` blocks of decaying noisy
// tones, repeated.
AudioContent syntheticStereo(double minutes, int distinctBlocks);

// The export format whose file extension `path` has (case-insensitive); throws when none has.
ExportFormat formatForExtension(const std::filesystem::path& path);

// Writes `source` to `path` with `settings` through the export front.
void writeAudio(const AudioSource& source, const std::filesystem::path& path, const EncodeSettings& settings);

// Shared fields of commands that read IN and write OUT.
Json timingJson(const DecodedFile& input, double seconds, double writeSeconds);

// One finished child process.
struct ChildRun {
  int status = -1;              // exit status, 128 + signal for a killed child, -1 not started
  double seconds = 0;           // wall time from launch to exit
  double cpuSeconds = 0;        // user and system time of the child
  int64_t peakResidentBytes = 0;
  std::string output;           // standard output, when captured
};

// Runs `program` (looked up on PATH when it has no slash) with `arguments`, standard input and
// standard error on the null device, standard output captured or discarded. The child's
// environment adds glibc tunables that back the heap with transparent huge pages.
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments, bool captureOutput);

// True when `program` names an executable file on PATH.
bool onPath(const std::string& program);

} // namespace quar::bench
