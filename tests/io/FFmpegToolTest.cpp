#include <gtest/gtest.h>

#include "io/FFmpegTestSupport.h"
#include "io/FFmpegTool.h"
#include "io/IoTestSupport.h"

using namespace quar;
using quar::testing::TempFolder;

TEST(FFmpegTool, FixedDirectoriesComeBeforePath) {
  TempFolder folder;
  for (const char* name : {"homebrew", "local", "usr", "path1", "path2"})
    std::filesystem::create_directory(folder / name);
  const auto dir = [&](const char* name) { return (folder / name).string(); };
  std::filesystem::create_directory(folder / "homebrew" / "ffmpeg");  // a directory never qualifies
  quar::testing::shellTool(folder / "local" / "ffmpeg", "exit 0");
  quar::testing::shellTool(folder / "path1" / "ffmpeg", "exit 0");
  std::ofstream(folder / "path1" / "ffprobe") << "not executable";
  quar::testing::shellTool(folder / "path2" / "ffprobe", "exit 0");
  const std::vector<std::string> fixed{dir("homebrew"), dir("local"), dir("usr")};
  const std::string path = dir("path1") + "::" + dir("local") + ":" + dir("path2") + ":";

  // The fixed copy wins over one listed earlier in PATH.
  EXPECT_EQ(FFmpegTool::locate("ffmpeg", fixed, path), folder / "local" / "ffmpeg");
  // A file that is not executable is passed over.
  EXPECT_EQ(FFmpegTool::locate("ffprobe", fixed, path), folder / "path2" / "ffprobe");
  // Without PATH only the fixed directories are searched.
  EXPECT_EQ(FFmpegTool::locate("ffprobe", fixed, std::nullopt), std::nullopt);
  EXPECT_EQ(FFmpegTool::locate("ffmpeg", {}, path), folder / "path1" / "ffmpeg");
  EXPECT_EQ(FFmpegTool::locate("sox-or-nothing", fixed, path), std::nullopt);
}

TEST(FFmpegTool, InstalledToolsAreFoundOnce) {
  ASSERT_TRUE(FFmpegTool::ffmpegURL().has_value());
  ASSERT_TRUE(FFmpegTool::ffprobeURL().has_value());
  EXPECT_EQ(FFmpegTool::ffmpegURL()->filename(), "ffmpeg");
  EXPECT_EQ(FFmpegTool::ffprobeURL()->filename(), "ffprobe");
  EXPECT_EQ(&FFmpegTool::ffmpegURL(), &FFmpegTool::ffmpegURL());
  EXPECT_EQ(FFmpegTool::installed(), (FFmpegTools{FFmpegTool::ffmpegURL(), FFmpegTool::ffprobeURL()}));
}
