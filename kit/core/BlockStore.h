// BlockStore: where the samples of large audio blocks live: a shared mapping of an unlinked
// file in the cache folder ($XDG_CACHE_HOME/Quarnel, else ~/.cache/Quarnel), so the kernel can
// write them out and drop them under memory pressure instead of holding them as anonymous
// memory. The file has no name from its creation on (O_TMPFILE, or created and unlinked), so
// nothing is left behind when the program ends in any way. The mapping grows in extents of
// address space; every range is reserved on the disk (posix_fallocate) before it is handed
// out, so writing it never faults, and its disk space and pages are given back (punched out)
// when it is released, for reuse by later blocks. Thread-safe; not for the audio thread
// (allocating and releasing make system calls and take a lock).
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <map>
#include <string>
#include <vector>

namespace quar {

class BlockStore {
public:
  // A reserved range: `bytes` (a multiple of the page size) writable bytes at `data`.
  struct Range {
    float* data = nullptr;
    int64_t offset = 0;
    int64_t bytes = 0;
  };

  // Blocks of fewer bytes stay on the heap.
  static constexpr int64_t minimumBytes = 64 * 1024;

  // The process-wide store, opened in defaultFolder() at first use; null when that folder is
  // unusable (blocks then live on the heap, which is said once on standard error).
  static std::shared_ptr<BlockStore> current();
  // Makes `store` (null: the heap) the process-wide store for blocks made from now on; blocks
  // made before keep theirs. For tests and the benchmarks.
  static void replaceCurrent(std::shared_ptr<BlockStore> store);
  // $XDG_CACHE_HOME/Quarnel when that variable holds an absolute path, else ~/.cache/Quarnel.
  static std::string defaultFolder();
  // Opens a store in `folder` (created when missing); null with `why` set when the folder or a
  // file in it cannot be made or mapped.
  static std::shared_ptr<BlockStore> open(const std::string& folder, std::string* why = nullptr);

  ~BlockStore();
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;

  // Reserves `bytes` (rounded up to whole pages). Throws QuarError::outOfSpace naming the folder
  // when the disk has no room; returns an empty range (data null) when the file cannot reserve
  // for another reason, so the caller falls back to the heap.
  Range allocate(int64_t bytes);
  // Gives a range from allocate() back: its pages and disk space are freed at once.
  void release(const Range& range);
  // For tests: allocate() refuses with QuarError::outOfSpace, as a full disk does, what would
  // take bytesInUse() above `bytes`.
  void setCapacity(int64_t bytes);

  const std::string& folder() const { return folder_; }
  // Bytes handed out and not yet released.
  int64_t bytesInUse() const;
  // Asks the kernel to write out and drop every page of the mapping now (MADV_PAGEOUT), as it
  // would under memory pressure; false when the kernel refuses.
  bool pageOutAll() const;

private:
  BlockStore(std::string folder, int fd);
  void addExtent();
  void insertFree(int64_t offset, int64_t bytes);
  void eraseFree(std::map<int64_t, int64_t>::iterator it);

  std::string folder_;
  int fd_;
  mutable std::mutex mutex_;
  std::vector<char*> extents_;                // each extentBytes of the file, mapped
  std::map<int64_t, int64_t> freeByOffset_;   // offset → length
  std::set<std::pair<int64_t, int64_t>> freeBySize_;  // (length, offset)
  int64_t inUse_ = 0;
  int64_t capacity_ = std::numeric_limits<int64_t>::max();
};

} // namespace quar
