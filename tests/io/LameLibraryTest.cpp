#include "io/LameLibrary.h"

#include <gtest/gtest.h>

#include "IoTestSupport.h"
#include "io/AudioEncoder.h"

namespace quar {
namespace {

using testing::TempFolder;

TEST(LameLibraryTest, LoadsTheFirstCandidateWithEveryEntryPoint) {
  TempFolder folder;
  const std::filesystem::path notALibrary = folder / "libmp3lame.so.0";
  std::FILE* file = std::fopen(notALibrary.c_str(), "w");
  std::fputs("not a shared library", file);
  std::fclose(file);
  const std::filesystem::path stub = QUAR_TEST_LAME_STUB;
  const std::filesystem::path incomplete = QUAR_TEST_LAME_INCOMPLETE;

  struct Case {
    const char* name;
    std::vector<std::filesystem::path> candidates;
    std::optional<std::string> path;  // none: nothing loads
    std::string version;
  };
  const Case cases[] = {
      {"no candidates", {}, std::nullopt, ""},
      {"missing files", {folder / "absent.so", "/nonexistent/libmp3lame.so.0"}, std::nullopt, ""},
      {"not a library", {notALibrary}, std::nullopt, ""},
      {"lacks an entry point", {incomplete}, std::nullopt, ""},
      {"skips to the next candidate", {folder / "absent.so", incomplete, notALibrary, stub}, stub.string(), "unknown"},
      {"by name through the loader", {"libmp3lame.so.0", stub}, "libmp3lame.so.0", "3.100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto library = LameLibrary::load(c.candidates);
    ASSERT_EQ(library != nullptr, c.path.has_value());
    if (!library) continue;
    EXPECT_EQ(library->path(), *c.path);
    EXPECT_EQ(library->versionString(), c.version);
    EXPECT_NE(library->lame_encode_buffer_ieee_float, nullptr);
    EXPECT_NE(library->lame_close, nullptr);
  }
}

TEST(LameLibraryTest, SearchesBesideTheExecutableThenTheLoaderThenTheMultiarchFolder) {
  const auto paths = LameLibrary::searchPaths();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(paths[0], std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lib" / "libmp3lame.so.0");
  EXPECT_EQ(paths[1], "libmp3lame.so.0");
  EXPECT_EQ(paths[2].filename(), "libmp3lame.so.0");
  EXPECT_EQ(paths[2].parent_path().parent_path(), "/usr/lib");
}

TEST(LameLibraryTest, TheSharedLibraryIsDebiansAndNamesItsVersion) {
  const LameLibrary* library = LameLibrary::shared();
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(library, LameLibrary::shared());
  EXPECT_EQ(library->versionString(), "3.100");
  EXPECT_EQ(AudioEncoder::lameVersion(), "3.100");
  EXPECT_TRUE(AudioEncoder::isAvailable(ExportFormat::mp3));
}

} // namespace
} // namespace quar
