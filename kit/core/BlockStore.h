// BlockStore: where the samples of large audio blocks live: a shared mapping of an unlinked
// file in the cache folder ($XDG_CACHE_HOME/Quarnel, else ~/.cache/Quarnel), so the kernel can
// write them out and drop them under memory pressure instead of holding them as anonymous
// memory. The file has no name from its creation on (O_TMPFILE, or created and unlinked), so
// nothing is left behind when the program ends in any way. The mapping grows in extents of
// address space, in huge pages where the kernel has them. Disk space is reserved by the file
// system itself (fallocate(2), in runs of many blocks, whole huge pages) before a range is handed
// out, and each range's pages are mapped writable before use, so writing never faults; a folder
// whose file system cannot reserve, or whose pages the kernel will not map, keeps its blocks on
// the heap instead (said once on standard error). Released ranges are reused as they are and
// the disk space and pages of their whole huge pages are given back (punched out) in batches,
// and all of it once nothing is in use. Thread-safe; not for the audio thread (allocating and
// releasing make system calls and take a lock).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

  // The calls by which a store reserves, maps and gives back space, with the arguments and
  // results of fallocate(2) and madvise(2); an empty one calls the kernel. Tests put in their
  // own to act out file systems and kernels that refuse.
  struct SystemCalls {
    std::function<int(int fd, int mode, int64_t offset, int64_t length)> fallocate;
    std::function<int(void* address, size_t length, int advice)> madvise;
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
  // file in it cannot be made or mapped, or its file system cannot reserve space.
  static std::shared_ptr<BlockStore> open(const std::string& folder, std::string* why = nullptr,
                                          SystemCalls calls = {});

  ~BlockStore();
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;

  // Reserves `bytes` (rounded up to whole pages). Throws QuarError::outOfSpace naming the folder
  // when the disk has no room; returns an empty range (data null) when the store cannot hold
  // the range for another reason, so the caller falls back to the heap. A store whose kernel
  // fails it unexpectedly holds nothing more from then on (said once on standard error).
  Range allocate(int64_t bytes);
  // Gives a range from allocate() back, for reuse at once; its disk space and pages are freed
  // with the next batch.
  void release(const Range& range);
  // For tests: allocate() refuses with QuarError::outOfSpace, as a full disk does, what would
  // take bytesInUse() above `bytes`.
  void setCapacity(int64_t bytes);

  const std::string& folder() const { return folder_; }
  // Bytes handed out and not yet released.
  int64_t bytesInUse() const;
  // Bytes of the disk the file holds: those in use, and those reserved ahead or released whose
  // space has not been given back yet (also where the file system refused to punch them out).
  int64_t bytesHeld() const;
  // Asks the kernel to write out and drop every page of the mapping now (MADV_PAGEOUT), as it
  // would under memory pressure; false when the kernel refuses.
  bool pageOutAll() const;

private:
  // Free ranges of the file, joined with their neighbours inside one extent.
  class FreeRanges {
  public:
    void insert(int64_t offset, int64_t bytes);
    // The first max(bytes, min(upTo, length)) bytes of the smallest range of at least `bytes`,
    // taken out, and more up to the next multiple of `endAlign` in the file where the range is
    // that long; none when no range is long enough.
    std::optional<std::pair<int64_t, int64_t>> take(int64_t bytes, int64_t upTo, int64_t endAlign = 1);
    // Every range, in file order, taken out.
    std::vector<std::pair<int64_t, int64_t>> takeAll();
    int64_t total() const { return total_; }

  private:
    void erase(std::map<int64_t, int64_t>::iterator it);

    std::map<int64_t, int64_t> byOffset_;           // offset → length
    std::set<std::pair<int64_t, int64_t>> bySize_;  // (length, offset)
    int64_t total_ = 0;
  };

  BlockStore(std::string folder, int fd, SystemCalls calls);
  void addExtent();
  float* address(int64_t offset) const;
  int fallocate(int mode, int64_t offset, int64_t length) const;
  // Gives back the disk space and pages of `length` bytes at `offset`; fallocate's result.
  int punch(int64_t offset, int64_t length) const;
  // Maps the range's pages writable; false when the kernel cannot.
  bool populate(const Range& range) const;
  // Reserves the disk space of a run of `run` bytes from the unreserved space that starts with
  // `range` (or, on a full disk, of less, down to the range to the end of its last huge page)
  // and keeps the rest for later ranges; an errno when the disk has no room even for that or
  // refuses, the run given back then.
  int reserveRun(const Range& range, int64_t run);
  // Gives back the disk space and pages of the whole huge pages of reserved space not in use
  // (locked).
  void punchReserved(std::unique_lock<std::mutex>& lock);
  // Inserts a span of the file into `ranges` a piece per extent.
  static void insertSplit(FreeRanges& ranges, int64_t offset, int64_t bytes);
  // From now on every allocation goes to the heap; says why once.
  void giveUp(const std::string& why);

  std::string folder_;
  int fd_;
  SystemCalls calls_;
  bool populates_ = true;  // false where the kernel has no MADV_POPULATE_WRITE
  std::atomic<bool> gaveUp_{false};
  mutable std::mutex mutex_;
  std::condition_variable reserveDone_;
  bool reserving_ = false;  // a thread is reserving a run
  std::vector<char*> extents_;  // each extentBytes of the file, mapped
  FreeRanges unreserved_;       // free and without disk space
  FreeRanges reserved_;         // free with disk space: released, or the rest of a reserved run
  int64_t inUse_ = 0;
  int64_t punching_ = 0;  // taken out of reserved_ to be punched
  int64_t releasedSincePunch_ = 0;
  bool punchRefused_ = false;
  int64_t capacity_ = std::numeric_limits<int64_t>::max();
};

} // namespace quar
