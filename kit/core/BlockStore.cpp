#include "core/BlockStore.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/Precondition.h"
#include "base/QuarError.h"

namespace quar {

namespace {

// Address space is mapped in steps of this many bytes of the file; a range never spans two.
constexpr int64_t extentBytes = int64_t{256} << 20;
// The kernel backs the mapping with pages of up to this many bytes (transparent huge pages, where
// it has them). Runs of reserved space end on such a boundary, so that no page spans reserved and
// unreserved space.
constexpr int64_t hugePageBytes = int64_t{2} << 20;
// Disk space is reserved this much at a time (less where the disk has no more), so that a long
// file takes a few dozen reservations rather than one per block. Runs that are not used up cost
// disk space only, no memory.
constexpr int64_t runBytes = int64_t{64} << 20;
// Released space is given back to the disk once this much has come together.
constexpr int64_t punchBatchBytes = int64_t{32} << 20;

// `value` rounded up to a multiple of `unit`.
int64_t roundUp(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }

int64_t pageBytes() {
  static const int64_t bytes = ::sysconf(_SC_PAGESIZE);
  return bytes;
}

// An unnamed file for reading and writing in `folder`: O_TMPFILE where the file system has it,
// else a new file unlinked at once. -1 with errno set on failure.
int openUnnamedFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string path = folder + "/blocks-XXXXXX";
  fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(path.c_str());
  return fd;
}

bool isDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

std::mutex& currentMutex() {
  static std::mutex mutex;
  return mutex;
}

struct Current {
  bool opened = false;
  std::shared_ptr<BlockStore> store;
};

Current& currentStore() {
  static Current current;
  return current;
}

} // namespace

void BlockStore::FreeRanges::insert(int64_t offset, int64_t bytes) {
  // Join the free neighbours inside the same extent.
  auto next = byOffset_.lower_bound(offset);
  if (next != byOffset_.end() && next->first == offset + bytes && (offset + bytes) % extentBytes != 0) {
    bytes += next->second;
    erase(next);
  }
  if (auto it = byOffset_.lower_bound(offset); it != byOffset_.begin()) {
    auto previous = std::prev(it);
    if (previous->first + previous->second == offset && offset % extentBytes != 0) {
      offset = previous->first;
      bytes += previous->second;
      erase(previous);
    }
  }
  byOffset_.emplace(offset, bytes);
  bySize_.emplace(bytes, offset);
  total_ += bytes;
}

void BlockStore::FreeRanges::erase(std::map<int64_t, int64_t>::iterator it) {
  bySize_.erase({it->second, it->first});
  total_ -= it->second;
  byOffset_.erase(it);
}

std::optional<std::pair<int64_t, int64_t>> BlockStore::FreeRanges::take(int64_t bytes, int64_t upTo, int64_t endAlign) {
  const auto fit = bySize_.lower_bound({bytes, 0});
  if (fit == bySize_.end()) return std::nullopt;
  const auto [length, offset] = *fit;
  int64_t taken = std::max(bytes, std::min(upTo, length));
  const int64_t alignedEnd = roundUp(offset + taken, endAlign);
  if (alignedEnd - offset <= length) taken = alignedEnd - offset;
  erase(byOffset_.find(offset));
  if (length > taken) insert(offset + taken, length - taken);
  return std::pair{offset, taken};
}

std::vector<std::pair<int64_t, int64_t>> BlockStore::FreeRanges::takeAll() {
  std::vector<std::pair<int64_t, int64_t>> all(byOffset_.begin(), byOffset_.end());
  byOffset_.clear();
  bySize_.clear();
  total_ = 0;
  return all;
}

std::string BlockStore::defaultFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') return std::string(cache) + "/Quarnel";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/") + "/.cache/Quarnel";
}

std::shared_ptr<BlockStore> BlockStore::open(const std::string& folder, std::string* why, SystemCalls calls) {
  const auto fail = [&](const std::string& what) {
    if (why) *why = what + ": " + std::strerror(errno);
    return nullptr;
  };
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    if (why) *why = "cannot make the folder " + folder + ": " + error.message();
    return nullptr;
  }
  const int fd = openUnnamedFile(folder);
  if (fd < 0) return fail("cannot make a file in " + folder);
  auto store = std::shared_ptr<BlockStore>(new BlockStore(folder, fd, std::move(calls)));
  try {
    std::lock_guard lock(store->mutex_);
    store->addExtent();
  } catch (const std::system_error& failure) {
    errno = failure.code().value();
    return fail("cannot map a file in " + folder);
  }
  // The file system must reserve the space itself: where it cannot, glibc's posix_fallocate
  // only writes zeros, which a network or copy-on-write file system need not keep room for, and
  // a later write to the mapping would fault. A full disk says nothing about that.
  // The check reserves the first huge page, which stays reserved for the first blocks.
  const int64_t page = pageBytes();
  const auto [offset, bytes] = *store->unreserved_.take(page, page, hugePageBytes);
  if (store->fallocate(0, offset, bytes) != 0) {
    if (!isDiskFull(errno)) return fail("the file system of " + folder + " cannot reserve space");
    store->punch(offset, bytes);  // what it may have kept
    store->unreserved_.insert(offset, bytes);
    return store;
  }
  if (!store->populate({store->address(offset), offset, page})) {
    // Without MADV_POPULATE_WRITE (before Linux 5.14) the pages fault in at the first write.
    if (errno != EINVAL) return fail("cannot map the pages of a file in " + folder);
    store->populates_ = false;
  }
  store->reserved_.insert(offset, bytes);
  return store;
}

std::shared_ptr<BlockStore> BlockStore::current() {
  std::lock_guard lock(currentMutex());
  Current& current = currentStore();
  if (!current.opened) {
    current.opened = true;
    const std::string folder = defaultFolder();
    std::string why;
    current.store = open(folder, &why);
    if (!current.store)
      std::fprintf(stderr, "Quarnel: audio is kept in memory only, the cache folder is unusable (%s)\n", why.c_str());
  }
  return current.store;
}

void BlockStore::replaceCurrent(std::shared_ptr<BlockStore> store) {
  std::lock_guard lock(currentMutex());
  currentStore() = {true, std::move(store)};
}

BlockStore::BlockStore(std::string folder, int fd, SystemCalls calls)
    : folder_(std::move(folder)), fd_(fd), calls_(std::move(calls)) {}

BlockStore::~BlockStore() {
  for (char* extent : extents_) ::munmap(extent, static_cast<size_t>(extentBytes));
  ::close(fd_);
}

void BlockStore::addExtent() {
  const int64_t start = static_cast<int64_t>(extents_.size()) * extentBytes;
  if (::ftruncate(fd_, start + extentBytes) != 0) throw std::system_error(errno, std::generic_category());
  void* address = ::mmap(nullptr, static_cast<size_t>(extentBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, start);
  if (address == MAP_FAILED) throw std::system_error(errno, std::generic_category());
  // Huge pages: about half the kernel's time per byte when mapping fresh pages, and far fewer
  // address translations when reading and writing them. Only a hint.
  ::madvise(address, static_cast<size_t>(extentBytes), MADV_HUGEPAGE);
  extents_.push_back(static_cast<char*>(address));
  unreserved_.insert(start, extentBytes);
}

float* BlockStore::address(int64_t offset) const {
  return reinterpret_cast<float*>(extents_[static_cast<size_t>(offset / extentBytes)] + offset % extentBytes);
}

int BlockStore::fallocate(int mode, int64_t offset, int64_t length) const {
  for (;;) {
    const int result =
        calls_.fallocate ? calls_.fallocate(fd_, mode, offset, length) : ::fallocate(fd_, mode, offset, length);
    if (result == 0 || errno != EINTR) return result;
  }
}

int BlockStore::punch(int64_t offset, int64_t length) const {
  return fallocate(FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, length);
}

bool BlockStore::populate(const Range& range) const {
  if (!populates_) return true;
  const auto bytes = static_cast<size_t>(range.bytes);
  return (calls_.madvise ? calls_.madvise(range.data, bytes, MADV_POPULATE_WRITE)
                         : ::madvise(range.data, bytes, MADV_POPULATE_WRITE)) == 0;
}

BlockStore::Range BlockStore::allocate(int64_t bytes) {
  QUAR_PRECONDITION(bytes > 0 && bytes <= extentBytes, "Block store ranges hold 1 byte to one extent");
  bytes = roundUp(bytes, pageBytes());
  for (bool punched = false;; punched = true) {
    Range range;
    int64_t run = 0;  // the unreserved bytes taken, from range.offset on
    {
      std::unique_lock lock(mutex_);
      if (bytes > capacity_ - inUse_) throw QuarError::outOfSpace(folder_, ENOSPC);
      // One thread reserves a run at a time; the others wait for it rather than reserve their own.
      auto taken = reserved_.take(bytes, bytes);
      for (; !taken && reserving_ && !gaveUp_; taken = reserved_.take(bytes, bytes)) reserveDone_.wait(lock);
      if (gaveUp_) return {};
      if (!taken) {
        taken = unreserved_.take(bytes, runBytes, hugePageBytes);
        if (!taken) {
          try {
            addExtent();
          } catch (const std::system_error&) {
            return {};
          }
          taken = unreserved_.take(bytes, runBytes, hugePageBytes);
        }
        run = taken->second;
        reserving_ = true;
      }
      range = {address(taken->first), taken->first, bytes};
      inUse_ += bytes;
    }
    if (const int error = run > 0 ? reserveRun(range, run) : 0; error != 0) {
      if (!isDiskFull(error)) {
        giveUp("the file system cannot reserve space: " + std::string(std::strerror(error)));
        return {};
      }
      std::unique_lock lock(mutex_);
      // Released space waiting for its batch may be what the disk lacks.
      if (!punched && reserved_.total() > 0) {
        punchReserved(lock);
        continue;
      }
      throw QuarError::outOfSpace(folder_, error);
    }
    // Map the pages writable in one call instead of one fault per page; a kernel that cannot
    // would fault (SIGBUS) at the first write. Each range on the thread that asks for it, not a
    // whole run at once: the kernel zeroes fresh file pages, and threads decoding side by side
    // then share that work instead of waiting for one of them.
    if (populate(range)) return range;
    const int error = errno;
    {
      std::lock_guard lock(mutex_);
      inUse_ -= bytes;
      reserved_.insert(range.offset, bytes);
    }
    giveUp("the kernel cannot map its pages: " + std::string(std::strerror(error)));
    return {};
  }
}

int BlockStore::reserveRun(const Range& range, int64_t run) {
  // On a disk without room for the whole run, half as much and so on, down to the range to the
  // end of its last huge page: never less, since a huge page that held unreserved space could
  // not be mapped on a full disk. A reservation refused for want of room may have kept part of
  // it (ext4 does), which is given back before asking for less.
  const int64_t end = range.offset + range.bytes;
  const int64_t least = std::min(run, roundUp(end, hugePageBytes) - range.offset);
  int64_t reserved = run;
  int error = 0;
  for (;;) {
    error = fallocate(0, range.offset, reserved) == 0 ? 0 : errno;
    if (!isDiskFull(error)) break;
    punch(range.offset, reserved);
    if (reserved == least) break;
    const int64_t half = roundUp(range.offset + reserved / 2, hugePageBytes) - range.offset;
    reserved = half < reserved ? std::max(least, half) : least;
  }
  std::lock_guard lock(mutex_);
  if (error != 0) {
    unreserved_.insert(range.offset, run);
    inUse_ -= range.bytes;
  } else {
    if (reserved > range.bytes) reserved_.insert(end, reserved - range.bytes);
    if (run > reserved) unreserved_.insert(range.offset + reserved, run - reserved);
  }
  reserving_ = false;
  reserveDone_.notify_all();
  return error;
}

void BlockStore::release(const Range& range) {
  if (!range.data) return;
  std::unique_lock lock(mutex_);
  inUse_ -= range.bytes;
  reserved_.insert(range.offset, range.bytes);
  releasedSincePunch_ += range.bytes;
  if (!punchRefused_ && (inUse_ == 0 || releasedSincePunch_ >= punchBatchBytes)) punchReserved(lock);
}

void BlockStore::punchReserved(std::unique_lock<std::mutex>& lock) {
  // Only whole huge pages are punched out: a partly punched page would be split or unmapped, and
  // the blocks it still holds would fault again at their next write, which a full disk cannot
  // serve. The rest of a free span stays reserved until its huge page is free.
  std::vector<std::pair<int64_t, int64_t>> holes;  // neighbours in the file joined, across extents
  for (const auto& [offset, bytes] : reserved_.takeAll()) {
    if (!holes.empty() && holes.back().first + holes.back().second == offset) holes.back().second += bytes;
    else holes.emplace_back(offset, bytes);
  }
  int64_t punching = 0;
  std::erase_if(holes, [&](std::pair<int64_t, int64_t>& hole) {
    const int64_t end = hole.first + hole.second;
    const int64_t first = roundUp(hole.first, hugePageBytes);
    const int64_t last = end / hugePageBytes * hugePageBytes;
    if (last <= first) {
      insertSplit(reserved_, hole.first, hole.second);
      return true;
    }
    insertSplit(reserved_, hole.first, first - hole.first);
    insertSplit(reserved_, last, end - last);
    hole = {first, last - first};
    punching += hole.second;
    return false;
  });
  releasedSincePunch_ = 0;
  punching_ += punching;
  lock.unlock();
  std::vector<bool> refused;
  for (const auto& [offset, bytes] : holes)
    refused.push_back(punch(offset, bytes) != 0);
  lock.lock();
  punching_ -= punching;
  for (size_t i = 0; i < holes.size(); ++i) {
    insertSplit(refused[i] ? reserved_ : unreserved_, holes[i].first, holes[i].second);
    if (refused[i]) punchRefused_ = true;
  }
}

void BlockStore::insertSplit(FreeRanges& ranges, int64_t offset, int64_t bytes) {
  for (const int64_t end = offset + bytes; offset < end;) {
    const int64_t next = std::min(end, (offset / extentBytes + 1) * extentBytes);
    ranges.insert(offset, next - offset);
    offset = next;
  }
}

void BlockStore::giveUp(const std::string& why) {
  if (!gaveUp_.exchange(true))
    std::fprintf(stderr, "Quarnel: audio is kept in memory from now on, the cache folder %s cannot hold it (%s)\n",
                 folder_.c_str(), why.c_str());
}

void BlockStore::setCapacity(int64_t bytes) {
  std::lock_guard lock(mutex_);
  capacity_ = bytes;
}

int64_t BlockStore::bytesInUse() const {
  std::lock_guard lock(mutex_);
  return inUse_;
}

int64_t BlockStore::bytesHeld() const {
  std::lock_guard lock(mutex_);
  return inUse_ + reserved_.total() + punching_;
}

bool BlockStore::pageOutAll() const {
  std::lock_guard lock(mutex_);
  bool done = true;
  for (char* extent : extents_)
    if (::madvise(extent, static_cast<size_t>(extentBytes), MADV_PAGEOUT) != 0) done = false;
  return done;
}

} // namespace quar
