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
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
// (ExportChild below), and stops it with SIGKILL once half of it is written. A child of its
// own program, not a fork: the worker pool's threads would not be in a forked copy.
void killHalfwayThroughAnExport(const fs::path& destination, ExportFormat format) {
  int halfway[2];
  ASSERT_EQ(::pipe(halfway), 0);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  environment.push_back(std::string(childVariable) + "=" + std::to_string(halfway[1]) + " " +
                        std::string(rawValue(format)) + " " + destination.string());
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
  for (const ExportFormat format : {ExportFormat::wav, ExportFormat::flac, ExportFormat::mp3, ExportFormat::opus}) {
    const fs::path destination = folder / ("song." + std::string(fileExtension(format)));
    SCOPED_TRACE(destination.filename().string());
    killHalfwayThroughAnExport(destination, format);
    if (supportsUnnamedFiles(folder.path())) {
      EXPECT_EQ(snapshot(folder.path()), before);
    } else {
      ReplacementFile::removeLeftovers(folder.path());
      EXPECT_EQ(snapshot(folder.path()), before);
    }
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
  std::string destination;
  words >> halfway >> format;
  std::getline(words >> std::ws, destination);
  std::vector<std::vector<float>> tone(2, std::vector<float>(441000));
  for (auto& channel : tone)
    for (size_t i = 0; i < channel.size(); ++i) channel[i] = static_cast<float>(0.5 * std::sin(0.03 * double(i)));
  AudioEncoder::write(ArraySource(tone, 44100), std::nullopt, destination,
                      EncodeSettings::defaults(*fromRawValue<ExportFormat>(std::string_view(format))), [&](double fraction) {
                        if (fraction >= 0.5) {
                          char byte = 1;
                          EXPECT_EQ(::write(halfway, &byte, 1), 1);
                          for (;;) ::pause();  // until the kill
                        }
                        return true;
                      });
}

} // namespace quar
