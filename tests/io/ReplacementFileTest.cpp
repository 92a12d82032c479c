#include "io/ReplacementFile.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FileTools.h"
#include "SystemCallHooks.h"
#include "base/AudioSource.h"
#include "base/Uuid.h"
#include "io/AudioEncoder.h"
#include "io/IoTestSupport.h"

namespace quar {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Every entry of the folder: name -> contents ("<folder>" for folders).
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string contents = "<folder>";
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      contents.assign(std::istreambuf_iterator<char>(in), {});
    }
    entries[entry.path().filename().string()] = contents;
  }
  return entries;
}

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

bool supportsUnnamedFiles(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

constexpr const char* childVariable = "QUAR_TEST_EXPORT_CHILD";

// Runs this test program again as a child that exports ten seconds of a tone to `destination`
// (ExportChild below), with a named file when `named`, and stops it with SIGKILL once half of
// it is written. A child of its own program, not a fork: the worker pool's threads would not be
// in a forked copy.
void killHalfwayThroughAnExport(const fs::path& destination, ExportFormat format, bool named) {
  int halfway[2];
  ASSERT_EQ(::pipe(halfway), 0);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  environment.push_back(std::string(childVariable) + "=" + std::to_string(halfway[1]) + " " +
                        std::string(rawValue(format)) + " " + (named ? "named" : "unnamed") + " " + destination.string());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = fs::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=ReplacementFileTest.ExportChild";
  char* argv[] = {program.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  ::close(halfway[1]);
  char byte = 0;
  EXPECT_EQ(::read(halfway[0], &byte, 1), 1) << "the export ended before it was half done";
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ::close(halfway[0]);
}

} // namespace

// A save killed halfway leaves the folder exactly as it was, whatever the writer; where the
// file system has no unnamed files, the next save there removes what the killed one left.
TEST(ReplacementFileTest, AKilledSaveLeavesTheFolderAsItWas) {
  TempFolder folder;
  writeText(folder / "song.wav", "the old song");
  writeText(folder / "notes.txt", "keep");
  const auto before = snapshot(folder.path());
  for (const bool named : {false, true}) {
    for (const ExportFormat format : {ExportFormat::wav, ExportFormat::flac, ExportFormat::mp3, ExportFormat::opus}) {
      const fs::path destination = folder / ("song." + std::string(fileExtension(format)));
      SCOPED_TRACE(destination.filename().string() + (named ? " named" : ""));
      killHalfwayThroughAnExport(destination, format, named);
      if (named || !supportsUnnamedFiles(folder.path())) {
        EXPECT_EQ(snapshot(folder.path()).size(), before.size() + 1) << "the killed save's file";
        ReplacementFile::removeLeftovers(folder.path());
      }
      EXPECT_EQ(snapshot(folder.path()), before);
    }
  }
}

// Where there are no unnamed files, the named file is locked before its name can be seen: the
// cleanup of another export's leftovers, run at the moment this one locks its file and again
// halfway through writing it, never takes it, and the save completes.
TEST(ReplacementFileTest, AnotherExportsCleanupNeverTakesANamedFileBeingWritten) {
  TempFolder folder;
  std::vector<std::vector<float>> tone(2, std::vector<float>(200000));
  for (auto& channel : tone)
    for (size_t i = 0; i < channel.size(); ++i) channel[i] = static_cast<float>(0.5 * std::sin(0.03 * double(i)));
  for (const ExportFormat format : {ExportFormat::wav, ExportFormat::mp3}) {
    const fs::path destination = folder / ("song." + std::string(fileExtension(format)));
    SCOPED_TRACE(destination.filename().string());
    bool cleanedHalfway = false;
    const bool ran = test::withoutUnnamedFiles([&] {
      test::beforeNextFlock([&](int) { ReplacementFile::removeLeftovers(folder.path()); });
      AudioEncoder::write(ArraySource(tone, 44100), std::nullopt, destination, EncodeSettings::defaults(format),
                          [&](double fraction) {
                            if (fraction >= 0.5 && !std::exchange(cleanedHalfway, true))
                              ReplacementFile::removeLeftovers(folder.path());
                            return true;
                          });
    });
    if (!ran) GTEST_SKIP() << "the kernel refuses system call filters here";
    EXPECT_TRUE(cleanedHalfway);
  }
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"song.mp3", "song.wav"}));
  for (const auto& decoded : testing::decodeFiles<float>({folder / "song.wav", folder / "song.mp3"}, "f32le"))
    EXPECT_EQ(decoded.size(), 2 * tone[0].size()) << "the whole tone";
}

// A save reported as done has its file and the folder entry that names it on the disk: the folder
// is flushed after the rename, named file or not.
TEST(ReplacementFileTest, TheFolderIsFlushedAfterTheRename) {
  TempFolder folder;
  const fs::path destination = folder / "song.wav";
  writeText(destination, "the old song");
  std::vector<std::vector<float>> silence(1, std::vector<float>(1000));
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named" : "unnamed");
    bool folderFlushedAfterRename = false;
    const auto save = [&] {
      test::beforeEachFsync([&](int fd) {
        std::error_code error;
        const fs::path synced = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
        if (!error && synced == folder.path() && fs::file_size(destination, error) != 12) folderFlushedAfterRename = true;
      });
      AudioEncoder::write(ArraySource(silence, 44100), std::nullopt, destination, EncodeSettings::defaults(ExportFormat::wav));
      test::beforeEachFsync({});
    };
    if (!named) save();
    else if (!test::withoutUnnamedFiles(save)) GTEST_SKIP() << "the kernel refuses system call filters here";
    EXPECT_TRUE(folderFlushedAfterRename);
    writeText(destination, "the old song");
  }
}

TEST(ReplacementFileTest, WritesUnnamedWhereTheFileSystemAllows) {
  TempFolder folder;
  if (!supportsUnnamedFiles(folder.path())) GTEST_SKIP() << "no unnamed files on this file system";
  const fs::path target = folder / "take.wav";
  {
    ReplacementFile file(target, folder / ".take-0.tmp.wav");
    EXPECT_TRUE(file.isUnnamed());
    writeText(file.writePath(), "new");
    EXPECT_TRUE(fs::is_empty(folder.path()));
    file.commit();
  }
  EXPECT_EQ(snapshot(folder.path()), (std::map<std::string, std::string>{{"take.wav", "new"}}));
  {
    ReplacementFile abandoned(target, folder / ".take-1.tmp.wav");
    writeText(abandoned.writePath(), "never seen");
  }
  EXPECT_EQ(snapshot(folder.path()), (std::map<std::string, std::string>{{"take.wav", "new"}}));
}

// Leftovers of our name pattern go at the next save in their folder; other names, folders and
// the file of an export still running stay.
TEST(ReplacementFileTest, LeftoversOfOurNamesGoAtTheNextSave) {
  TempFolder folder;
  const std::string uuid = Uuid::random().uuidString();
  struct Case {
    std::string name;
    bool leftover;
  };
  const Case cases[] = {
      {".song-" + uuid + ".tmp.wav", true},
      {".-" + uuid + ".tmp.m4a", true},
      {".a-b-" + uuid + ".tmp.flac", true},
      {"song-" + uuid + ".tmp.wav", false},   // not hidden
      {".song-" + uuid + ".wav", false},      // no ".tmp."
      {".song-" + uuid + ".tmp.", false},     // no extension
      {".song_" + uuid + ".tmp.wav", false},  // no "-" before the UUID
      {".song-" + std::string(36, 'x') + ".tmp.wav", false},
      {".song-6b1e3f0a-97c4-4e0e-8d55-0f2c1d9a4b7e.tmp.wav", false},  // lower case: not ours
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplacementFile::isTemporaryName(c.name), c.leftover) << c.name;
    writeText(folder / c.name, "debris");
  }
  const std::string held = ".held-" + Uuid::random().uuidString() + ".tmp.wav";
  writeText(folder / held, "still being written");
  const int fd = ::open((folder / held).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const std::string folderName = ".dir-" + Uuid::random().uuidString() + ".tmp.wav";
  fs::create_directory(folder / folderName);

  std::vector<std::vector<float>> silence(1, std::vector<float>(1000));
  AudioEncoder::write(ArraySource(silence, 44100), std::nullopt, folder / "other.wav", EncodeSettings::defaults(ExportFormat::wav));
  std::map<std::string, std::string> expected{{"other.wav", snapshot(folder.path())["other.wav"]},
                                              {held, "still being written"},
                                              {folderName, "<folder>"}};
  for (const Case& c : cases)
    if (!c.leftover) expected[c.name] = "debris";
  EXPECT_EQ(snapshot(folder.path()), expected);
  ::close(fd);
}

// The child of killHalfwayThroughAnExport; skipped when run on its own.
TEST(ReplacementFileTest, ExportChild) {
  const char* request = std::getenv(childVariable);
  if (!request) GTEST_SKIP() << "run by AKilledSaveLeavesTheFolderAsItWas";
  std::istringstream words(request);
  int halfway = -1;
  std::string format;
  std::string naming;
  std::string destination;
  words >> halfway >> format >> naming;
  std::getline(words >> std::ws, destination);
  std::vector<std::vector<float>> tone(2, std::vector<float>(441000));
  for (auto& channel : tone)
    for (size_t i = 0; i < channel.size(); ++i) channel[i] = static_cast<float>(0.5 * std::sin(0.03 * double(i)));
  const auto save = [&] {
    AudioEncoder::write(ArraySource(tone, 44100), std::nullopt, destination,
                        EncodeSettings::defaults(*fromRawValue<ExportFormat>(std::string_view(format))), [&](double fraction) {
                          if (fraction >= 0.5) {
                            char byte = 1;
                            EXPECT_EQ(::write(halfway, &byte, 1), 1);
                            for (;;) ::pause();  // until the kill
                          }
                          return true;
                        });
  };
  if (naming == "named")
    ASSERT_TRUE(test::withoutUnnamedFiles(save));
  else
    save();
}

} // namespace quar
