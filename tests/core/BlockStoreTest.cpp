#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <utility>

#include "ContentTestSupport.h"
#include "base/QuarError.h"
#include "core/AudioContentAssembler.h"
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
  bool mountTmpfs(const std::string& size) { return mount("tmpfs", ("size=" + size).c_str()); }
  // A fresh ext4 file system of `megabytes` in an image file, mounted on the folder: false where
  // mkfs.ext4 or loop devices are missing or mounting is not permitted.
  bool mountExt4(int megabytes) {
    const fs::path image = folder_.string() + ".img";
    const std::string make = "truncate -s " + std::to_string(megabytes) + "M " + image.string() +
                             " && mkfs.ext4 -q -F -b 4096 " + image.string() + " >/dev/null 2>&1";
    const bool made = std::system(make.c_str()) == 0 &&
                      std::system(("mount -o loop " + image.string() + " " + folder_.string() + " 2>/dev/null").c_str()) == 0;
    fs::remove(image);
    mounted_ = made;
    return made;
  }
  bool mount(const char* type, const char* options) {
    mounted_ = ::mount(type, folder_.c_str(), type, 0, options) == 0;
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

bool allInStore(const AudioContent& content) {
  return std::all_of(content.segments().begin(), content.segments().end(),
                     [](const Segment& segment) { return segment.block->inStore(); });
}

constexpr int reserve = 0;
constexpr int punch = FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE;

// System calls that count what the store asks of the kernel and refuse as told: an errno for a
// fallocate of a mode or a populate, by the number of earlier such calls; 0 lets the kernel
// answer.
struct Kernel {
  std::function<int(int mode, int call)> refuseFallocate = [](int, int) { return 0; };
  std::function<int(int call)> refusePopulate = [](int) { return 0; };
  std::map<int, int> fallocates;  // calls by mode
  int populates = 0;

  BlockStore::SystemCalls systemCalls() {
    return {[this](int fd, int mode, int64_t offset, int64_t length) {
              if (const int error = refuseFallocate(mode, fallocates[mode]++)) return errno = error, -1;
              return ::fallocate(fd, mode, offset, length);
            },
            [this](void* address, size_t length, int advice) {
              if (advice == MADV_POPULATE_WRITE)
                if (const int error = refusePopulate(populates++)) return errno = error, -1;
              return ::madvise(address, length, advice);
            }};
  }
};

// The planar samples as content, block after block on this thread, so that the store is asked
// in frame order.
AudioContent blockByBlock(const std::vector<std::vector<float>>& source) {
  AudioContentBuilder builder(static_cast<int>(source.size()), 48000);
  constexpr auto block = static_cast<size_t>(AudioBlock::preferredFrameCount);
  for (size_t start = 0; start < source.front().size(); start += block) {
    std::vector<std::span<const float>> views;
    for (const auto& channel : source)
      views.emplace_back(channel.data() + start, std::min(block, channel.size() - start));
    builder.append(ChannelViews(views));
  }
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

// A block's bin and group summaries share its reserved range, after the samples, and are paged
// like them.
TEST_F(BlockStoreTest, SummariesLiveWithTheSamplesAndReadBackAfterPageOut) {
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const AudioContent content = noiseContent(300000);
  const int64_t page = ::sysconf(_SC_PAGESIZE);
  int64_t reserved = 0;
  std::vector<QuarSummary> expected;
  std::vector<std::vector<PeakSummary>> peaks(2);
  const FrameRange ranges[] = {content.fullRange(), {100, 299900}, {4096, 4096 * 40}, {65536, 65536 * 2}, {300, 9000}};
  for (const auto& segment : content.segments()) {
    const AudioBlock& block = *segment.block;
    const int64_t floats = 2 * block.frameCount() + QuarSummary::arrayFloats(2, block.frameCount());
    reserved += (floats * 4 + page - 1) / page * page;
    const float* end = block.channel(0) + floats;
    for (const auto* arrays : {&block.summary().mins, &block.summary().groupSumSquares}) {
      EXPECT_GE((*arrays)[0].data(), block.channel(1) + block.frameCount());
      EXPECT_LE((*arrays)[1].data() + (*arrays)[1].size(), end);
    }
    expected.emplace_back(blockChannels(block));
  }
  EXPECT_EQ(store->bytesInUse(), reserved);
  for (int c = 0; c < 2; ++c)
    for (const FrameRange& range : ranges) peaks[static_cast<size_t>(c)].push_back(content.peaks(c, range));

  ASSERT_TRUE(store->pageOutAll());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    expectSameSummary(content.segments()[i].block->summary(), expected[i]);
  }
  store->pageOutAll();
  for (int c = 0; c < 2; ++c)
    for (size_t r = 0; r < std::size(ranges); ++r)
      EXPECT_EQ(content.peaks(c, ranges[r]), peaks[static_cast<size_t>(c)][r]) << c << " " << r;
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
    // Made on this thread: the worker pool's threads were not forked.
    const AudioContent content = blockByBlock(noiseChannels(2, 300000, 7));
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

// On a real file system a reservation refused for want of room can keep part of what it asked
// for, and the kernel maps a block's pages in huge pages that reach past the block. A full disk
// is still an error that keeps nothing, never a bus error or a store turned to the heap: the
// space the store gives back to make room never takes a page from under a block still written.
TEST_F(BlockStoreTest, AFullExt4DiskIsAnErrorThatKeepsNothing) {
  if (!mountExt4(64)) GTEST_SKIP() << "mounting an ext4 image is not possible here";
  const auto freeBytes = [this] {
    struct statvfs info {};
    ::statvfs(folder_.c_str(), &info);
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
  };
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const int64_t room = freeBytes() + store->bytesHeld();
  const int64_t blockBytes = 520 * 1024;  // a stereo block with its summary
  ::testing::internal::CaptureStderr();
  {
    const auto expectOutOfSpace = [](const std::function<void()>& make) {
      try {
        make();
        FAIL() << "audio beyond the disk's room was made";
      } catch (const QuarError& error) {
        EXPECT_EQ(error.kind(), QuarError::Kind::outOfSpace);
      }
    };
    expectOutOfSpace([&] { noiseContent((room / blockBytes + 8) * AudioBlock::preferredFrameCount); });
    EXPECT_GE(freeBytes(), room - (int64_t{1} << 20));
    // Two contents of two fifths of the disk each fit after the failure.
    const int64_t fifths = 2 * room / 5 / blockBytes * AudioBlock::preferredFrameCount;
    const AudioContent first = noiseContent(fifths), second = noiseContent(fifths);
    EXPECT_TRUE(allInStore(first));
    EXPECT_TRUE(allInStore(second));
    EXPECT_NEAR(static_cast<double>(room - freeBytes()), static_cast<double>(store->bytesHeld()), 1 << 20);
    // A range written next to a released one in the same huge page, then the disk filled up.
    const BlockStore::Range released = store->allocate(512 * 1024);
    const BlockStore::Range written = store->allocate(512 * 1024);
    const size_t floats = static_cast<size_t>(written.bytes) / sizeof(float);
    std::fill_n(written.data, floats, 1.0f);
    store->release(released);
    expectOutOfSpace([&] { noiseContent(fifths); });
    std::fill_n(written.data, floats, 2.0f);
    EXPECT_EQ(std::count(written.data, written.data + floats, 2.0f), static_cast<ptrdiff_t>(floats));
    store->release(written);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(store->bytesHeld(), 0);
  EXPECT_GE(freeBytes(), room - (int64_t{1} << 20));
}

// The disk holds a block's samples but not its summary: the edit fails as when the samples do
// not fit, and gives back what it had reserved.
TEST_F(BlockStoreTest, FullDiskForTheSummaryFailsTheEdit) {
  if (!mountTmpfs("4m")) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const AudioContent content = noiseContent(AudioBlock::preferredFrameCount);
  const AudioContent shorter = noiseContent(AudioBlock::preferredFrameCount - 2048);
  const auto before = allFrames(content);
  // Fill the disk, then free exactly the room of one block's samples.
  constexpr int64_t step = 64 * 1024;
  const int64_t sampleBytes = 2 * AudioBlock::preferredFrameCount * 4;
  std::vector<BlockStore::Range> fillers;
  try {
    for (;;) fillers.push_back(store->allocate(step));
  } catch (const QuarError& error) {
    ASSERT_EQ(error.kind(), QuarError::Kind::outOfSpace);
  }
  ASSERT_GE(static_cast<int64_t>(fillers.size()) * step, sampleBytes);
  for (int64_t freed = 0; freed < sampleBytes; freed += step) {
    store->release(fillers.back());
    fillers.pop_back();
  }
  const int64_t used = store->bytesInUse();
  try {
    static_cast<void>(applyingGain(content, -3));
    FAIL() << "a block whose summary does not fit was made";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::outOfSpace);
    EXPECT_EQ(error.message(), folder_.string());
  }
  EXPECT_EQ(allFrames(content), before);
  EXPECT_EQ(store->bytesInUse(), used);
  // A block a few bins shorter, samples and summary together within the freed room, fits.
  const AudioContent quieter = applyingGain(shorter, -3);
  EXPECT_TRUE(quieter.segments().front().block->inStore());
  for (const auto& range : fillers) store->release(range);
}

// A long content takes a handful of reservations and mappings of many blocks each, not one per
// block, and gives its space back in a few calls once nothing is in use.
TEST_F(BlockStoreTest, SpaceIsReservedAndGivenBackInRuns) {
  Kernel kernel;
  auto store = BlockStore::open(folder_.string(), nullptr, kernel.systemCalls());
  ASSERT_TRUE(store);
  BlockStore::replaceCurrent(store);
  kernel.fallocates.clear();
  constexpr int blocks = 160;  // 80 MiB
  {
    const AudioContent content = noiseContent(blocks * AudioBlock::preferredFrameCount);
    EXPECT_TRUE(allInStore(content));
    EXPECT_LE(kernel.fallocates[reserve], 2);
    EXPECT_LT(store->bytesHeld() - store->bytesInUse(), int64_t{64} << 20);
  }
  EXPECT_EQ(store->bytesInUse(), 0);
  EXPECT_EQ(store->bytesHeld(), 0);
  EXPECT_LE(kernel.fallocates[punch], blocks / 10);
}

// Where the file system cannot reserve space (glibc would only write zeros in its place, as on
// ramfs, NFS before 4.2 or some copy-on-write file systems), the folder is not used.
TEST_F(BlockStoreTest, AFileSystemThatCannotReserveSpaceIsNotUsed) {
  for (const int error : {EOPNOTSUPP, ENOSYS}) {
    Kernel kernel;
    kernel.refuseFallocate = [error](int mode, int) { return mode == reserve ? error : 0; };
    std::string why;
    EXPECT_FALSE(BlockStore::open(folder_.string(), &why, kernel.systemCalls()));
    EXPECT_NE(why.find("cannot reserve space"), std::string::npos) << why;
  }
  // A full disk is no reason to refuse the folder: a later edit meets it as an error.
  Kernel full;
  full.refuseFallocate = [](int mode, int) { return mode == reserve ? ENOSPC : 0; };
  auto store = BlockStore::open(folder_.string(), nullptr, full.systemCalls());
  ASSERT_TRUE(store);
  try {
    store->allocate(BlockStore::minimumBytes);
    FAIL() << "a full disk gave room";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::outOfSpace);
  }
  EXPECT_EQ(store->bytesInUse(), 0);

  if (!mount("ramfs", "")) GTEST_SKIP() << "mounting a ramfs is not permitted here";
  std::string why;
  EXPECT_FALSE(BlockStore::open(folder_.string(), &why));
  EXPECT_NE(why.find("cannot reserve space"), std::string::npos) << why;
}

// A kernel that will not map reserved pages, or stops reserving, has the store give up: the
// blocks made from then on live on the heap, said once, and every block reads back as written.
TEST_F(BlockStoreTest, AStoreWhosePagesCannotBeMappedTurnsToTheHeap) {
  struct Case {
    const char* name;
    int populateError;    // from the populate of the third block's on
    int reservationError; // from the first reservation after the store opened
    int64_t blocksInStore;  // -1: those that fit in the space reserved when the store opened
  };
  const Case cases[] = {{"populate faults", EFAULT, 0, 2},
                        {"populate without memory", ENOMEM, 0, 2},
                        {"reservation refused", 0, EIO, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Kernel kernel;
    // The store's own check when it opens is the first call of each.
    kernel.refusePopulate = [&](int call) { return call >= 3 ? c.populateError : 0; };
    kernel.refuseFallocate = [&](int mode, int call) { return mode == reserve && call >= 1 ? c.reservationError : 0; };
    auto store = BlockStore::open(folder_.string(), nullptr, kernel.systemCalls());
    ASSERT_TRUE(store);
    BlockStore::replaceCurrent(store);
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    const int64_t blockBytes =
        (2 * AudioBlock::preferredFrameCount + QuarSummary::arrayFloats(2, AudioBlock::preferredFrameCount)) * 4;
    const int64_t blocksInStore =
        c.blocksInStore >= 0 ? c.blocksInStore : store->bytesHeld() / ((blockBytes + page - 1) / page * page);
    const auto source = noiseChannels(2, 5 * AudioBlock::preferredFrameCount, 3);
    ::testing::internal::CaptureStderr();
    const AudioContent content = blockByBlock(source);
    const AudioContent again = blockByBlock(source);
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (int64_t i = 0; i < content.segmentCount(); ++i)
      EXPECT_EQ(content.segments()[static_cast<size_t>(i)].block->inStore(), i < blocksInStore) << i;
    for (const Segment& segment : again.segments()) EXPECT_FALSE(segment.block->inStore());
    EXPECT_EQ(allFrames(content), source);
    EXPECT_EQ(allFrames(again), source);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(folder_.string()), std::string::npos) << said;
  }
}

// A kernel without MADV_POPULATE_WRITE (before Linux 5.14) still reserves: the pages fault in at
// the first write.
TEST_F(BlockStoreTest, WithoutPopulatingThePagesFaultInOnFirstWrite) {
  Kernel kernel;
  kernel.refusePopulate = [](int) { return EINVAL; };
  auto store = BlockStore::open(folder_.string(), nullptr, kernel.systemCalls());
  ASSERT_TRUE(store);
  BlockStore::replaceCurrent(store);
  const auto source = noiseChannels(2, 3 * AudioBlock::preferredFrameCount, 3);
  const AudioContent content(source, 48000);
  EXPECT_TRUE(allInStore(content));
  EXPECT_EQ(allFrames(content), source);
  EXPECT_EQ(kernel.populates, 1);
}

// Space the file system would not punch out stays held, and counted so, and is used again.
TEST_F(BlockStoreTest, SpaceThatCannotBePunchedOutIsCountedAndReused) {
  Kernel kernel;
  kernel.refuseFallocate = [](int mode, int) { return mode == punch ? EOPNOTSUPP : 0; };
  auto store = BlockStore::open(folder_.string(), nullptr, kernel.systemCalls());
  ASSERT_TRUE(store);
  BlockStore::replaceCurrent(store);
  int64_t held = 0;
  {
    const AudioContent content = noiseContent(20 * AudioBlock::preferredFrameCount);
    held = store->bytesHeld();
  }
  EXPECT_EQ(store->bytesInUse(), 0);
  EXPECT_EQ(store->bytesHeld(), held);
  const int reservations = kernel.fallocates[reserve];
  const AudioContent again = noiseContent(20 * AudioBlock::preferredFrameCount);
  EXPECT_TRUE(allInStore(again));
  EXPECT_EQ(kernel.fallocates[reserve], reservations);
  EXPECT_EQ(store->bytesHeld(), held);
}

// A room is storage in the store from the start: finished, it is the block (cut to the frames
// written); dropped unfinished, or finished empty, its space is given back.
TEST_F(BlockStoreTest, RoomsHoldTheirSpaceOnlyUntilDroppedOrFinished) {
  auto store = useStore(folder_);
  ASSERT_TRUE(store);
  const auto source = noiseChannels(2, 70000, 9);
  AudioContentAssembler assembler(2, 48000);
  {
    const std::unique_ptr<BlockRoom> dropped = assembler.room(2, 0, AudioBlock::preferredFrameCount);
    EXPECT_GT(store->bytesInUse(), 2 * AudioBlock::preferredFrameCount * int64_t{sizeof(float)});
  }
  EXPECT_EQ(store->bytesInUse(), 0);
  assembler.room(2, 0, AudioBlock::preferredFrameCount)->finish(0);
  EXPECT_EQ(store->bytesInUse(), 0);
  for (const auto& [start, frames] : {std::pair<int64_t, int64_t>{0, AudioBlock::preferredFrameCount},
                                      {AudioBlock::preferredFrameCount, 70000 - AudioBlock::preferredFrameCount}}) {
    // The last room is made whole-block long and finished with what is left.
    const std::unique_ptr<BlockRoom> room = assembler.room(2, start, AudioBlock::preferredFrameCount);
    for (size_t c = 0; c < 2; ++c) std::copy_n(source[c].begin() + start, frames, room->channels()[c]);
    room->finish(frames);
  }
  const AudioContent content = assembler.build();
  EXPECT_EQ(content.segments().front().block->inStore(), true);
  EXPECT_EQ(allFrames(content), source);
  EXPECT_EQ(content.peaks(1, content.fullRange()), AudioContent(source, 48000).peaks(1, content.fullRange()));
}
