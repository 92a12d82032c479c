#include "Compare.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numbers>
#include <optional>
#include <sstream>

#include "Arguments.h"
#include "BenchSupport.h"
#include "dsp/effects/EffectSettings.h"

namespace quar::bench {
namespace {

constexpr int runsPerCommand = 3;
constexpr double rate = 48000;

// A stereo test programme as a pure function of the frame: a 120 BPM kick, off-beat noise
// bursts and a slowly swelling chord, the channels slightly apart.
class SyntheticSource final : public AudioSource {
public:
  explicit SyntheticSource(int64_t frames) : frames_(frames) {}

  int channelCount() const override { return 2; }
  double sampleRate() const override { return rate; }
  int64_t frameCount() const override { return frames_; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    constexpr double twoPi = 2 * std::numbers::pi;
    const int64_t beat = static_cast<int64_t>(rate / 2);
    for (int64_t frame = range.lowerBound; frame < range.upperBound; ++frame) {
      const double t = static_cast<double>(frame) / rate;
      const double sinceBeat = static_cast<double>(frame % beat) / rate;
      const double kick = 0.5 * std::exp(-sinceBeat * 30) * std::sin(twoPi * 55 * sinceBeat);
      const int64_t sinceOffbeat = (frame + beat / 2) % beat;
      const double noise = sinceOffbeat < 2400 ? 0.08 * hashNoise(frame) * (1 - sinceOffbeat / 2400.0) : 0;
      const double swell = 0.06 * (1.2 + std::sin(twoPi * 0.05 * t));
      for (int c = 0; c < 2 && c < static_cast<int>(destinations.size()); ++c) {
        const double spread = c == 0 ? 1.0 : 1.003;
        const double chord = std::sin(twoPi * 220 * spread * t) + std::sin(twoPi * 261.63 * spread * t) +
                             std::sin(twoPi * 329.63 * spread * t);
        destinations[static_cast<size_t>(c)][frame - range.lowerBound] =
            static_cast<float>(kick + swell * chord + (c == 0 ? noise : -noise));
      }
    }
  }

private:
  // Uniform noise in [-1, 1] from the frame index alone.
  static double hashNoise(int64_t frame) {
    uint64_t x = static_cast<uint64_t>(frame) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1;
  }

  int64_t frames_;
};

// A folder in the temporary directory, removed with its contents at the end.
class TemporaryFolder {
public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quar-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("can’t create a temporary folder");
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

struct Command {
  std::string label;  // "ours", "ours, heap", "sox", "ffmpeg"
  std::string program;
  std::vector<std::string> arguments;
};

constexpr const char* heapLabel = "ours, heap";
// The block store may cost at most a fifth over the heap.
constexpr const char* heapTarget = "≥ 0.83 (store ≤ 1.2× heap)";

struct Operation {
  std::string name;
  std::vector<std::string> ourArguments;
  std::vector<Command> peers;
  std::string target;  // the goal for peer/ours, when there is one
};

struct Measurement {
  std::vector<double> seconds;
  std::vector<double> cpuSeconds;  // user and system
  std::vector<double> ownSeconds;  // the time ours reports for its work, without start-up
  int64_t peakResidentBytes = 0;
  std::string failure;     // the first failure, when a run failed
  std::string lastOutput;  // standard output of the last successful run

  bool ok() const { return failure.empty() && !seconds.empty(); }
  double median() const { return medianOf(seconds); }
  double cpuMedian() const { return medianOf(cpuSeconds); }
  double ownMedian() const { return medianOf(ownSeconds); }

  static double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }
};

void runOnce(const Command& command, Measurement& measurement) {
  if (!measurement.failure.empty()) return;
  if (!onPath(command.program) && command.program.find('/') == std::string::npos) {
    measurement.failure = command.program + " not found";
    return;
  }
  const ChildRun run = runChild(command.program, command.arguments, command.label.starts_with("ours"));
  if (run.status != 0) {
    measurement.failure = "failed (exit " + std::to_string(run.status) + ")";
    return;
  }
  measurement.seconds.push_back(run.seconds);
  measurement.cpuSeconds.push_back(run.cpuSeconds);
  measurement.peakResidentBytes = std::max(measurement.peakResidentBytes, run.peakResidentBytes);
  measurement.lastOutput = run.output;
  if (!run.output.empty())
    if (const Json result = Json::parse(run.output); result.contains("seconds"))
      measurement.ownSeconds.push_back(result.at("seconds").get<double>());
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string mebibytes(int64_t bytes) { return fixed(static_cast<double>(bytes) / (1024.0 * 1024.0), 0); }

std::string secondsCell(const Measurement& m) { return m.ok() ? fixed(m.median(), 3) : m.failure; }

std::string reverbSettings() {
  Json json;
  to_json(json, EffectSettings(ReverbSettings{}));
  return json.dump();
}

// The files the operations read: the main source, one minute of it for the stretch and one
// second for the start-up cost.
struct Sources {
  std::string main, minute, second;
};

// `self` runs ours; its rows with the blocks on the heap show what the block store costs.
std::vector<Operation> operations(const TemporaryFolder& folder, const Sources& sources, const std::string& self) {
  const std::string& in = sources.main;
  const auto onTheHeap = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "--heap");
    return Command{heapLabel, self, std::move(arguments)};
  };
  const std::vector<std::string> quietFfmpeg{"-nostdin", "-hide_banner", "-v", "error", "-y", "-i", in};
  const auto ffmpeg = [&](std::vector<std::string> tail, std::string label = "ffmpeg") {
    std::vector<std::string> arguments = quietFfmpeg;
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    return Command{std::move(label), "ffmpeg", arguments};
  };
  std::vector<Operation> list{
      {"decode", {"decode", in},
       {{"sox", "sox", {in, "-t", "f32", "/dev/null"}}, ffmpeg({"-f", "f32le", "/dev/null"}), onTheHeap({"decode", in})},
       "≥ 1.0 vs sox"},
      {"decode one second", {"decode", sources.second}, {}, "≤ 0.030 s"},
      {"loudness (true peak)", {"loudness", in}, {ffmpeg({"-af", "ebur128=peak=true", "-f", "null", "-"})}, "≥ 6"},
      {"resample 48 → 44.1 kHz", {"resample", in, folder.file("ours-44k.wav"), "--rate", "44100"},
       {{"sox", "sox", {in, folder.file("sox-44k.wav"), "rate", "-v", "44100"}}}, "≥ 3"},
      {"export FLAC", {"export", in, folder.file("ours.flac"), "--format", "flac"},
       {ffmpeg({"-c:a", "flac", folder.file("ffmpeg.flac")})}, "≥ 1.5, file no larger"},
      // Ours encodes at LAME quality 2; ffmpeg's default is 3, its compression level 2 is ours.
      {"export MP3 256k", {"export", in, folder.file("ours.mp3"), "--format", "mp3", "--bitrate", "256"},
       {ffmpeg({"-c:a", "libmp3lame", "-b:a", "256k", "-compression_level", "2", folder.file("ffmpeg-q2.mp3")},
               "ffmpeg q2"),
        ffmpeg({"-c:a", "libmp3lame", "-b:a", "256k", folder.file("ffmpeg.mp3")}, "ffmpeg q3")},
       "≥ 1.0 vs ffmpeg q2"},
      {"stats", {"stats", in}, {{"sox", "sox", {in, "-n", "stats"}}}, "≥ 1.5"},
      {"normalize −14 LUFS, −1 dBTP",
       {"normalize", in, folder.file("ours-normalized.wav"), "--target", "-14", "--ceiling", "-1"}, {}, ""},
      {"effect (reverb)", {"effect", in, folder.file("ours-reverb.wav"), "--settings", reverbSettings()}, {}, ""},
      {"stretch one minute ×1.25, +100 cents",
       {"stretch", sources.minute, folder.file("ours-stretched.wav"), "--rate", "1.25", "--cents", "100"},
       // Ours runs the library in its real-time mode; the tool is timed in both of its modes.
       {{"rubberband -3", "rubberband",
         {"-q", "-3", "-t", "0.8", "-p", "1", sources.minute, folder.file("rubberband-stretched.wav")}},
        {"rubberband -3 -R", "rubberband",
         {"-q", "-3", "-R", "-t", "0.8", "-p", "1", sources.minute, folder.file("rubberband-rt-stretched.wav")}}},
       "≥ 1.0 vs rubberband -3"},
      {"tempo", {"tempo", in}, {}, ""},
      {"splice", {"splice", in}, {}, ""},
  };
  for (const char* op : {"gain", "reverse", "silence", "fade-in", "fade-out", "normalize"})
    list.push_back({std::string("process ") + op, {"process", op, in}, {onTheHeap({"process", op, in})}, ""});
  return list;
}

struct Row {
  std::string operation, peer, ours, peerSeconds, ratio, target, oursMemory, peerMemory;
};

void printTable(const std::vector<Row>& rows) {
  const std::vector<std::string> headings{"operation", "peer", "ours (median s)", "peer (median s)",
                                          "peer/ours", "target", "ours peak MiB", "peer peak MiB"};
  const auto cells = [](const Row& r) {
    return std::vector<std::string>{r.operation, r.peer, r.ours, r.peerSeconds, r.ratio, r.target, r.oursMemory,
                                    r.peerMemory};
  };
  const auto line = [](const std::vector<std::string>& values) {
    std::string text = "|";
    for (const std::string& value : values) text += " " + value + " |";
    std::cout << text << "\n";
  };
  line(headings);
  line(std::vector<std::string>(headings.size(), "---"));
  for (const Row& row : rows) line(cells(row));
}

} // namespace

int compareCommand(const std::vector<std::string>& words) {
  const Arguments args(words, {"minutes"});
  args.expectPositional(0, "no arguments besides --minutes");
  const double minutes = args.number("minutes").value_or(10);
  if (!(minutes > 0)) throw UsageError("--minutes must be positive");
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  TemporaryFolder folder;
  const Sources sources{folder.file("source.wav"), folder.file("minute.wav"), folder.file("second.wav")};
  std::cerr << "synthesising " << fixed(minutes, 2) << " minutes of stereo 48 kHz 24-bit audio…\n";
  EncodeSettings settings = EncodeSettings::defaults(ExportFormat::wav);
  settings.bitDepth = PCMBitDepth::int24;
  settings.dither = DitherMode::none;
  writeAudio(SyntheticSource(static_cast<int64_t>(std::llround(minutes * 60 * rate))), sources.main, settings);
  writeAudio(SyntheticSource(static_cast<int64_t>(60 * rate)), sources.minute, settings);
  writeAudio(SyntheticSource(static_cast<int64_t>(rate)), sources.second, settings);

  std::vector<Row> rows;
  std::string notes;
  bool oursFailed = false;
  for (const Operation& operation : operations(folder, sources, self)) {
    const Command ours{"ours", self, operation.ourArguments};
    Measurement ourMeasurement;
    std::vector<Measurement> peerMeasurements(operation.peers.size());
    for (int run = 0; run < runsPerCommand; ++run) {
      std::cerr << operation.name << ": run " << run + 1 << " of " << runsPerCommand << "\n";
      runOnce(ours, ourMeasurement);
      for (size_t p = 0; p < operation.peers.size(); ++p) runOnce(operation.peers[p], peerMeasurements[p]);
    }
    oursFailed = oursFailed || !ourMeasurement.ok();

    // Without peers the target is on our own figure.
    const Row base{operation.name, "—", secondsCell(ourMeasurement), "—", "—",
                   operation.peers.empty() ? operation.target : "—", mebibytes(ourMeasurement.peakResidentBytes), "—"};
    if (operation.peers.empty()) rows.push_back(base);
    for (size_t p = 0; p < operation.peers.size(); ++p) {
      const Measurement& peer = peerMeasurements[p];
      Row row = base;
      row.peer = operation.peers[p].label;
      row.peerSeconds = secondsCell(peer);
      row.peerMemory = peer.ok() ? mebibytes(peer.peakResidentBytes) : "—";
      if (ourMeasurement.ok() && peer.ok()) row.ratio = fixed(peer.median() / ourMeasurement.median(), 2);
      if (operation.peers[p].label == heapLabel)
        row.target = heapTarget;
      else if (!operation.target.empty() && (p == 0 || operation.target.find(" vs ") == std::string::npos))
        row.target = operation.target;
      rows.push_back(row);
    }

    if (!ourMeasurement.ok() || ourMeasurement.lastOutput.empty()) continue;
    const Json result = Json::parse(ourMeasurement.lastOutput);
    for (size_t p = 0; p < operation.peers.size(); ++p) {
      const Measurement& heap = peerMeasurements[p];
      if (operation.peers[p].label != heapLabel || !heap.ok() || heap.ownSeconds.empty() ||
          ourMeasurement.ownSeconds.empty())
        continue;
      const double store = ourMeasurement.ownMedian();
      const double onHeap = heap.ownMedian();
      notes += operation.name + ", store / heap: in-process " + fixed(store, 3) + " s / " + fixed(onHeap, 3) +
               " s = " + fixed(store / onHeap, 2) + "× (target ≤ 1.2×); user + system of the whole process " +
               fixed(ourMeasurement.cpuMedian(), 2) + " s / " + fixed(heap.cpuMedian(), 2) + " s = " +
               fixed(ourMeasurement.cpuMedian() / heap.cpuMedian(), 2) + "×\n";
    }
    const std::string& command = operation.ourArguments.front();
    if (command == "decode" && operation.peers.size() > 0) {
      notes += "decode in-process: " + fixed(result.at("seconds").get<double>(), 3) + " s; peak resident " +
               mebibytes(result.at("peakResidentBytes").get<int64_t>()) + " MiB = " +
               fixed(result.at("peakToSampleBytes").get<double>(), 3) +
               "× the decoded float samples (target ≤ 1.05×); growth over the " +
               mebibytes(result.at("baselineResidentBytes").get<int64_t>()) + " MiB the program held before decoding: " +
               fixed(result.at("growthToSampleBytes").get<double>(), 3) + "×\n";
    } else if (command == "export" && operation.ourArguments.back() == "flac") {
      const auto size = [](const std::string& path) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(path, error);
        return error ? std::string("—") : mebibytes(static_cast<int64_t>(bytes)) + " MiB";
      };
      notes += "FLAC file size (target: ours no larger): ours " + size(folder.file("ours.flac")) + ", ffmpeg " +
               size(folder.file("ffmpeg.flac")) + "\n";
    } else if (command == "process") {
      notes += operation.name + ": " + fixed(result.at("gigabytesPerSecond").get<double>(), 2) +
               " GB/s of samples in-process (target ≥ 2)\n";
    } else if (command == "splice") {
      const auto edit = [&](const char* key) {
        const Json& e = result.at(key);
        return std::string(key) + " median " + fixed(e.at("medianMicroseconds").get<double>(), 1) + " µs, p99 " +
               fixed(e.at("p99Microseconds").get<double>(), 1) + " µs, max " +
               fixed(e.at("maxMicroseconds").get<double>(), 1) + " µs";
      };
      notes += "splice (target: median ≤ 20 µs, p99 ≤ 200 µs): " + edit("edit") + "; " + edit("delete") + "; " +
               edit("insert") + "; " + edit("paste") + "\n";
      const auto channels = static_cast<double>(result.at("channels").get<int64_t>());
      for (const Json& zoom : result.at("peakQuery"))
        notes += "peak query, 2000 columns of " + std::to_string(zoom.at("framesPerColumn").get<int64_t>()) +
                 " frames after the edits: median " + fixed(zoom.at("medianMicroseconds").get<double>() / channels, 0) +
                 " µs per channel (target ≤ 1000)\n";
    }
  }

  std::cout << "Source: " << fixed(minutes, 2) << " minutes, stereo, 48 kHz, 24-bit WAV. Times are median wall "
            << "times of " << runsPerCommand << " runs of each whole process (ours includes decoding the file); "
            << "the stretch reads one minute of it. Other work on the machine changes the numbers.\n\n";
  printTable(rows);
  std::cout << "\n" << notes;
  return oursFailed ? 1 : 0;
}

} // namespace quar::bench
