// Runs quar-bench's commands on tiny files: each prints one valid JSON object with its figures,
// and bad input ends with a one-line message and a non-zero exit. Skipped when the program
// (built only in the Release build) does not exist; QUAR_BENCH overrides its location.
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string program() {
  const char* overridden = std::getenv("QUAR_BENCH");
  return overridden ? overridden : QUAR_BENCH_PROGRAM;
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string readFile(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class BenchSmokeTest : public testing::Test {
protected:
  void SetUp() override {
    if (!fs::exists(program())) GTEST_SKIP() << "quar-bench is not built: " << program();
    folder_ = fs::temp_directory_path() / ("quar-bench-smoke-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    input_ = file("in.wav");
    // One second of stereo 48 kHz 24-bit audio with a beat.
    ASSERT_EQ(std::system(("sox -n -r 48000 -b 24 -c 2 " + input_ +
                           " synth 1 sine 440 sine 660 tremolo 2 90 gain -6 2>/dev/null").c_str()),
              0);
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  std::string file(const std::string& name) const { return (folder_ / name).string(); }

  // Runs quar-bench with `arguments` (shell words), after the variable assignments `environment`.
  Outcome bench(const std::string& arguments, const std::string& environment = {}) const {
    const std::string command =
        environment + "'" + program() + "' " + arguments + " >'" + file("stdout") + "' 2>'" + file("stderr") + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(file("stdout")), readFile(file("stderr"))};
  }

  // Runs a command that must succeed and returns its JSON object.
  Json succeeding(const std::string& arguments) const {
    const Outcome run = bench(arguments);
    EXPECT_EQ(run.status, 0) << arguments << ": " << run.err;
    const Json json = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(json.is_object()) << arguments << " printed: " << run.out;
    return json.is_object() ? json : Json::object();
  }

  int64_t framesOf(const std::string& path) const { return succeeding("decode '" + path + "'").value("frames", -1); }

  fs::path folder_;
  std::string input_;
};

TEST_F(BenchSmokeTest, AnalysisCommandsPrintTheirFigures) {
  const Json decoded = succeeding("decode " + input_ + " --raw " + file("raw.f32"));
  EXPECT_EQ(decoded["frames"], 48000);
  EXPECT_EQ(decoded["channels"], 2);
  EXPECT_EQ(decoded["sampleRate"], 48000.0);
  EXPECT_EQ(decoded["decoder"], "Native");
  EXPECT_TRUE(decoded["seconds"].is_number());
  for (const char* stage : {"readSeconds", "decodeSeconds", "joinSeconds", "wallSeconds"})
    EXPECT_TRUE(decoded["stages"][stage].is_number()) << stage;
  EXPECT_GT(decoded["stages"]["pieces"].get<int64_t>(), 0);  // linear PCM: blocks read at once
  EXPECT_GT(decoded["peakResidentBytes"].get<int64_t>(), 0);
  EXPECT_EQ(fs::file_size(file("raw.f32")), 48000u * 2 * 4);

  const Json loudness = succeeding("loudness " + input_);
  for (const char* key : {"integrated", "range", "truePeak", "samplePeak", "maxMomentary", "maxShortTerm", "seconds"})
    EXPECT_TRUE(loudness[key].is_number()) << key;
  EXPECT_NEAR(loudness["samplePeak"].get<double>(), -6.0, 0.1);

  const Json stats = succeeding("stats " + input_);
  ASSERT_EQ(stats["perChannel"].size(), 2u);
  for (const char* key : {"peak", "peakFrame", "rms", "dc"}) EXPECT_TRUE(stats["perChannel"][0][key].is_number()) << key;

  const Json tempo = succeeding("tempo " + input_);
  for (const char* key : {"bpm", "confidence", "downbeatFrame", "firstBeatFrame"}) EXPECT_TRUE(tempo.contains(key)) << key;

  const Json splice = succeeding("splice " + input_);
  for (const char* key : {"delete", "insert", "paste", "edit"})
    EXPECT_TRUE(splice[key]["medianMicroseconds"].is_number()) << key;
  EXPECT_EQ(splice["edit"]["count"], 1000);
  EXPECT_FALSE(splice["peakQuery"].empty());

  for (const char* operation : {"gain", "reverse", "silence", "fade-in", "fade-out", "normalize"}) {
    const Json processed = succeeding(std::string("process ") + operation + " " + input_);
    EXPECT_EQ(processed["operation"], operation);
    EXPECT_GT(processed["gigabytesPerSecond"].get<double>(), 0) << operation;
  }
  EXPECT_EQ(bench("process shuffle " + input_).status, 2);
}

TEST_F(BenchSmokeTest, WritingCommandsWriteFilesOfTheExpectedLength) {
  struct Case {
    std::string arguments;
    std::string output;
    int64_t frames;
  };
  const std::string reverb =
      R"('{"reverb":{"_0":{"preDelayMs":20,"decaySeconds":1.8,"size":0.6,"damping":0.5,"diffusion":0.8,"width":1,"lowCutHz":100,"mix":0.25}}}')";
  const Case cases[] = {
      {"export " + input_ + " " + file("a.flac") + " --format flac", file("a.flac"), 48000},
      {"export " + input_ + " " + file("b.wav") + " --format wav --bit-depth 16 --dither none --rate 44100",
       file("b.wav"), 44100},
      {"normalize " + input_ + " " + file("c.wav") + " --target -14 --ceiling -1", file("c.wav"), 48000},
      {"resample " + input_ + " " + file("d.wav") + " --rate 44100", file("d.wav"), 44100},
      {"effect " + input_ + " " + file("e.wav") + " --settings " + reverb, file("e.wav"), 48000},
      {"stretch " + input_ + " " + file("f.wav") + " --rate 2 --cents 100", file("f.wav"), 24000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Json json = succeeding(c.arguments);
    EXPECT_TRUE(json["seconds"].is_number());
    EXPECT_EQ(framesOf(c.output), c.frames);
  }
}

TEST_F(BenchSmokeTest, TimelineReportsItsDrawingFigures) {
  const Json timeline = succeeding("timeline --minutes 0.05 --width 200 --height 150 --runs 2");
  for (const char* key : {"drawFit", "repaintFit", "drawOneFramePerPoint", "repaintOneFramePerPoint", "playheadTick",
                          "overviewImage"})
    EXPECT_TRUE(timeline[key]["medianSeconds"].is_number()) << key;
  EXPECT_EQ(timeline["frames"], 144000);
  EXPECT_EQ(timeline["devicePixelRatio"], 2.0);
  EXPECT_EQ(timeline["redrawsDuringTicks"], 0);
}

TEST_F(BenchSmokeTest, InspectorReportsLiveSpectrumAndStatisticsFigures) {
  const Json inspector = succeeding("inspector --minutes 0.05 --fft 1024 --updates 3 --runs 1");
  for (const char* key : {"liveAnalysis", "liveDraw", "liveUpdate", "statistics"})
    EXPECT_TRUE(inspector[key]["medianSeconds"].is_number()) << key;
  EXPECT_EQ(inspector["frames"], 144000);
  EXPECT_EQ(inspector["fftSize"], 1024);
}

TEST_F(BenchSmokeTest, OpenAndEditsReportTheEditorsFigures) {
  const Json opened = succeeding("open " + input_);
  for (const char* key : {"firstDrawSeconds", "loudnessSeconds", "statisticsSeconds", "decodeSeconds",
                          "firstDrawToDecode", "peakResidentBytes", "residentBeforeOpenBytes", "residentAfterCloseBytes"})
    EXPECT_TRUE(opened[key].is_number()) << key;
  for (const char* phase : {"read", "window", "content", "modelLoad", "firstDraw"})
    EXPECT_TRUE(opened["phases"][phase].is_number()) << phase;
  for (const char* stage : {"readSeconds", "decodeSeconds", "joinSeconds", "pieces", "wallSeconds"})
    EXPECT_TRUE(opened["decodeStages"][stage].is_number()) << stage;
  EXPECT_EQ(opened["frames"], 48000);

  const Json edited = succeeding("edits " + input_);
  ASSERT_EQ(edited["edits"].size(), 7u);
  for (const Json& edit : edited["edits"]) {
    EXPECT_TRUE(edit["jobSeconds"].is_number()) << edit["edit"];
    EXPECT_GT(edit["loudnessSeconds"].get<double>(), 0) << edit["edit"];
  }
}

TEST_F(BenchSmokeTest, BadInputEndsWithOneLineAndNonZeroExit) {
  std::ofstream(file("junk.wav")) << "not audio at all";
  const std::string cases[] = {
      "decode " + file("missing.wav"),
      "decode " + file("junk.wav"),
      "loudness " + input_ + " --frobnicate 1",
      "decode",
      "nonsense " + input_,
      "resample " + input_ + " " + file("x.wav"),
      "resample " + input_ + " " + file("x.wav") + " --rate fast",
      "export " + input_ + " " + file("x.wav") + " --format tape",
      "effect " + input_ + " " + file("x.wav") + " --settings '{broken'",
      "effect " + input_ + " " + file("x.wav") + R"( --settings '{"reverb":{}}')",
      "normalize " + input_ + " " + file("x.wav") + " --target -14",
      "stretch " + input_ + " " + file("x.wav") + " --rate 9",
      "timeline --width 10",
      "inspector --fft 1000",
      "open " + file("junk.wav"),
      "edits " + file("missing.wav"),
  };
  for (const std::string& arguments : cases) {
    SCOPED_TRACE(arguments);
    const Outcome run = bench(arguments);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.out.empty());
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
}

// The document benchmarks on a store whose disk holds the file but not a whole-file edit: the
// edit's failure ends the command at once, with its message and a non-zero exit.
TEST_F(BenchSmokeTest, DocumentEditsOnAFullDiskEndWithTheError) {
  const fs::path disk = folder_ / "disk";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=5m") != 0) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  struct Unmount {
    const fs::path& path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{disk};
  const std::string input = file("six.wav");  // 2.3 MB of samples
  ASSERT_EQ(std::system(("sox -n -r 48000 -b 24 -c 2 " + input + " synth 6 sine 440 gain -6 2>/dev/null").c_str()), 0);
  for (const char* command : {"edits", "undo-depth"}) {
    SCOPED_TRACE(command);
    const Outcome run = bench(std::string(command) + " " + input, "XDG_CACHE_HOME='" + disk.string() + "' ");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("There isn\u2019t enough space on the disk for the audio in the folder \u201C" +
                           (disk / "Quarnel").string() + "\u201D."),
              std::string::npos)
        << run.err;
  }
}

} // namespace
