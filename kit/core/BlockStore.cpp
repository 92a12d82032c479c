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

std::string BlockStore::defaultFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') return std::string(cache) + "/Quarnel";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/") + "/.cache/Quarnel";
}

std::shared_ptr<BlockStore> BlockStore::open(const std::string& folder, std::string* why) {
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
  auto store = std::shared_ptr<BlockStore>(new BlockStore(folder, fd));
  try {
    std::lock_guard lock(store->mutex_);
    store->addExtent();
  } catch (const std::system_error&) {
    return fail("cannot map a file in " + folder);
  }
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

BlockStore::BlockStore(std::string folder, int fd) : folder_(std::move(folder)), fd_(fd) {}

BlockStore::~BlockStore() {
  for (char* extent : extents_) ::munmap(extent, static_cast<size_t>(extentBytes));
  ::close(fd_);
}

void BlockStore::addExtent() {
  const int64_t start = static_cast<int64_t>(extents_.size()) * extentBytes;
  if (::ftruncate(fd_, start + extentBytes) != 0) throw std::system_error(errno, std::generic_category());
  void* address = ::mmap(nullptr, static_cast<size_t>(extentBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, start);
  if (address == MAP_FAILED) throw std::system_error(errno, std::generic_category());
  extents_.push_back(static_cast<char*>(address));
  insertFree(start, extentBytes);
}

void BlockStore::insertFree(int64_t offset, int64_t bytes) {
  // Join the free neighbours inside the same extent.
  auto next = freeByOffset_.lower_bound(offset);
  if (next != freeByOffset_.end() && next->first == offset + bytes && (offset + bytes) % extentBytes != 0) {
    bytes += next->second;
    eraseFree(next);
  }
  if (auto it = freeByOffset_.lower_bound(offset); it != freeByOffset_.begin()) {
    auto previous = std::prev(it);
    if (previous->first + previous->second == offset && offset % extentBytes != 0) {
      offset = previous->first;
      bytes += previous->second;
      eraseFree(previous);
    }
  }
  freeByOffset_.emplace(offset, bytes);
  freeBySize_.emplace(bytes, offset);
}

void BlockStore::eraseFree(std::map<int64_t, int64_t>::iterator it) {
  freeBySize_.erase({it->second, it->first});
  freeByOffset_.erase(it);
}

BlockStore::Range BlockStore::allocate(int64_t bytes) {
  QUAR_PRECONDITION(bytes > 0 && bytes <= extentBytes, "Block store ranges hold 1 byte to one extent");
  const int64_t page = pageBytes();
  bytes = (bytes + page - 1) / page * page;
  Range range;
  {
    std::lock_guard lock(mutex_);
    if (bytes > capacity_ - inUse_) throw QuarError::outOfSpace(folder_, ENOSPC);
    auto fit = freeBySize_.lower_bound({bytes, 0});
    if (fit == freeBySize_.end()) {
      try {
        addExtent();
      } catch (const std::system_error&) {
        return {};
      }
      fit = freeBySize_.lower_bound({bytes, 0});
    }
    const auto [length, offset] = *fit;
    eraseFree(freeByOffset_.find(offset));
    if (length > bytes) insertFree(offset + bytes, length - bytes);
    range = {reinterpret_cast<float*>(extents_[static_cast<size_t>(offset / extentBytes)] + offset % extentBytes), offset,
             bytes};
    inUse_ += bytes;
  }
  // Reserve the disk space before anything writes the pages, then map them writable in one
  // call instead of one fault per page.
  if (const int error = ::posix_fallocate(fd_, range.offset, range.bytes); error != 0) {
    {
      std::lock_guard lock(mutex_);
      insertFree(range.offset, range.bytes);
      inUse_ -= range.bytes;
    }
    if (error == ENOSPC || error == EDQUOT) throw QuarError::outOfSpace(folder_, error);
    return {};
  }
  ::madvise(range.data, static_cast<size_t>(range.bytes), MADV_POPULATE_WRITE);
  return range;
}

void BlockStore::release(const Range& range) {
  if (!range.data) return;
  ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, range.offset, range.bytes);
  std::lock_guard lock(mutex_);
  insertFree(range.offset, range.bytes);
  inUse_ -= range.bytes;
}

void BlockStore::setCapacity(int64_t bytes) {
  std::lock_guard lock(mutex_);
  capacity_ = bytes;
}

int64_t BlockStore::bytesInUse() const {
  std::lock_guard lock(mutex_);
  return inUse_;
}

bool BlockStore::pageOutAll() const {
  std::lock_guard lock(mutex_);
  bool done = true;
  for (char* extent : extents_)
    if (::madvise(extent, static_cast<size_t>(extentBytes), MADV_PAGEOUT) != 0) done = false;
  return done;
}

} // namespace quar
