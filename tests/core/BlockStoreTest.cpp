#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "ContentTestSupport.h"
#include "base/QuarError.h"
#include "core/AudioContentBuilder.h"
#include "core/BlockStore.h"
#include "core/Processing.h"

using namespace quar;
using namespace quar::testing;

namespace {

namespace fs = std::filesystem;

// A private folder and a store in it, made the process-wide store for the test.
class BlockStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quar-store-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    BlockStore::replaceCurrent(nullptr);
    if (mounted_) ::umount(folder_.c_str());
    fs::remove_all(folder_);
  }
  std::shared_ptr<BlockStore> useStore(const fs::path& folder) {
    auto store = BlockStore::open(folder.string());
    BlockStore::replaceCurrent(store);
    return store;
  }
  bool mountTmpfs(const std::string& size) {
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    return mounted_;
  }

  fs::path folder_;
  bool mounted_ = false;
};

AudioContent noiseContent(int64_t frames) {
  AudioContentBuilder builder(2, 48000);
  builder.append(noiseChannels(2, static_cast<size_t>(frames), 7));
  return builder.build();
}

} // namespace

TEST_F(BlockStoreTest, BlocksLiveInTheStoreAndReadBackAfterPageOut) {
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const auto source = noiseChannels(2, 300000, 7);
  AudioContentBuilder builder(2, 48000);
  builder.append(source);
  const AudioContent content = builder.build();
  for (const auto& segment : content.segments()) EXPECT_TRUE(segment.block->inStore());
  EXPECT_GE(store->bytesInUse(), int64_t{300000} * 2 * 4);
  // The kernel writes the pages out and drops them; reading them back gives the same samples.
  EXPECT_TRUE(store->pageOutAll());
  EXPECT_EQ(allFrames(content), source);
  const AudioContent faded = applyingGain(content, -6);
  store->pageOutAll();
  content.pageIn(content.fullRange());
  EXPECT_EQ(allFrames(content), source);
  EXPECT_EQ(faded.frameCount(), content.frameCount());
}

TEST_F(BlockStoreTest, ReleasedSpaceIsReusedAndReturned) {
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  {
    const AudioContent content = noiseContent(400000);
    EXPECT_GT(store->bytesInUse(), 0);
  }
  EXPECT_EQ(store->bytesInUse(), 0);
  // Small blocks stay on the heap.
  const BlockRef small = AudioBlock::make(noiseChannels(1, 100, 1));
  EXPECT_FALSE(small->inStore());
  EXPECT_EQ(store->bytesInUse(), 0);
}

TEST_F(BlockStoreTest, UnusableFolderFallsBackToTheHeap) {
  const fs::path file = folder_ / "not-a-folder";
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
  std::string why;
  EXPECT_FALSE(BlockStore::open((file / "Quarnel").string(), &why));
  EXPECT_FALSE(why.empty());
  BlockStore::replaceCurrent(nullptr);
  const AudioContent content = noiseContent(200000);
  for (const auto& segment : content.segments()) EXPECT_FALSE(segment.block->inStore());
}

TEST_F(BlockStoreTest, DefaultFolderFollowsXdgCacheHome) {
  const char* old = std::getenv("XDG_CACHE_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CACHE_HOME", "/some/cache", 1);
  EXPECT_EQ(BlockStore::defaultFolder(), "/some/cache/Quarnel");
  ::setenv("XDG_CACHE_HOME", "relative", 1);
  EXPECT_EQ(BlockStore::defaultFolder(), std::string(std::getenv("HOME")) + "/.cache/Quarnel");
  if (old)
    ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CACHE_HOME");
}

TEST_F(BlockStoreTest, KilledProcessLeavesNoFile) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto store = BlockStore::open(folder_.string());
    BlockStore::replaceCurrent(store);
    const AudioContent content = noiseContent(300000);
    const char byte = store && store->bytesInUse() > 0 ? 1 : 0;
    static_cast<void>(::write(ready[1], &byte, 1));
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 1);
  EXPECT_TRUE(fs::is_empty(folder_));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(fs::is_empty(folder_));
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(BlockStoreTest, FullDiskIsAnErrorAndLeavesTheContent) {
  if (!mountTmpfs("4m")) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const AudioContent content = noiseContent(300000);  // 2.4 MB of the 4 MB
  const auto before = allFrames(content);
  const int64_t used = store->bytesInUse();
  try {
    static_cast<void>(applyingGain(content, -3));
    FAIL() << "an edit beyond the disk's size succeeded";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::outOfSpace);
    EXPECT_EQ(error.message(), folder_.string());
    EXPECT_EQ(error.errorDescription(), "There isn\u2019t enough space on the disk for the audio in the folder \u201C" +
                                            folder_.string() + "\u201D.");
  }
  EXPECT_EQ(allFrames(content), before);
  // The space of the failed edit came back: an edit that fits succeeds.
  EXPECT_EQ(store->bytesInUse(), used);
  const AudioContent quieter = applyingGain(content, -3, FrameRange(0, 65536));
  EXPECT_EQ(quieter.frameCount(), content.frameCount());
}
