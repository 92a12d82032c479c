#include "io/ReplacementFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "base/QuarError.h"

namespace quar {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view temporaryMarker = ".tmp.";
// Marks the name under which a named file is made and locked before it takes its temporary name.
constexpr std::string_view stagingMarker = ".new.";

[[noreturn]] void moveFailed(int error) {
  throw QuarError::encodeFailed("couldn\u2019t move the finished file into place: " + std::string(std::strerror(error)),
                                error);
}

fs::path folderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

fs::path descriptorPath(int fd) { return fs::path("/proc/self/fd") / std::to_string(fd); }

// Whether `text` is an upper-case UUID ("8-4-4-4-12" hexadecimal digits).
bool isUuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!std::isdigit(static_cast<unsigned char>(c)) && !(c >= 'A' && c <= 'F')) {
      return false;
    }
  }
  return true;
}

// Whether `name` is "." + stem + "-" + an upper-case UUID + `marker` + extension.
bool hasOurPattern(std::string_view name, std::string_view marker) {
  if (!name.starts_with('.')) return false;
  const size_t at = name.rfind(marker);
  if (at == std::string_view::npos || at + marker.size() >= name.size() || at < 1 + 1 + 36) return false;
  return name[at - 37] == '-' && isUuid(name.substr(at - 36, 36));
}

// Flushes the folder's entries to the disk. A folder that cannot be opened or whose file system
// does not sync folders is left as it is.
void syncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0 && error != EINVAL)
    throw QuarError::encodeFailed("the finished file is in place, but its folder couldn\u2019t be written to the disk: " +
                                      std::string(std::strerror(error)),
                                  error);
}

} // namespace

ReplacementFile::ReplacementFile(fs::path target, fs::path temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)), writePath_(temporary_) {
  const fs::path folder = folderOf(target_);
  removeLeftovers(folder);
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ >= 0 && ::access(descriptorPath(fd_).c_str(), W_OK) == 0) {
    unnamed_ = true;
    writePath_ = descriptorPath(fd_);
    // Locked before it is linked under the temporary name, where other exports look for leftovers.
    ::flock(fd_, LOCK_EX | LOCK_NB);
  } else {
    if (fd_ >= 0) ::close(fd_);
    // Created here so that its lock keeps other exports from taking it for a leftover; a folder
    // that refuses it is left for the writer to report.
    fd_ = createLocked();
    named_ = fd_ >= 0;
  }
}

int ReplacementFile::createLocked() const {
  const std::string name = temporary_.filename().string();
  if (!isTemporaryName(name)) {
    // No cleanup takes this name.
    const int fd = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
  }
  // Made and locked under the staging name, then renamed: the temporary name never shows an
  // unlocked file. A cleanup that opened the staging file first holds its lock until it has
  // removed it: the lock is then ours on a file without a name, and it is made again.
  std::string stagingName = name;
  stagingName.replace(stagingName.rfind(temporaryMarker), temporaryMarker.size(), stagingMarker);
  const fs::path staging = temporary_.parent_path() / stagingName;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(staging.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct stat held {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && held.st_nlink == 0) {
      ::close(fd);
      continue;
    }
    if (::rename(staging.c_str(), temporary_.c_str()) == 0) return fd;
    ::unlink(staging.c_str());
    ::close(fd);
    return -1;
  }
  return -1;
}

ReplacementFile::~ReplacementFile() {
  if (!committed_ && (named_ || !unnamed_)) {
    std::error_code ignored;
    fs::remove(temporary_, ignored);
  }
  if (fd_ >= 0) ::close(fd_);
}

void ReplacementFile::commit() {
  // A named file the writer created itself has no descriptor here yet.
  if (fd_ < 0 && (fd_ = ::open(temporary_.c_str(), O_RDWR | O_CLOEXEC)) < 0) moveFailed(errno);
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) == 0) {
    if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
      // Not permitted for this process; the file stays the process's own.
    }
    if (::fchmod(fd_, existing.st_mode & 07777) != 0) moveFailed(errno);
  }
  if (::fsync(fd_) != 0) moveFailed(errno);
  if (unnamed_ && !named_) {
    if (::linkat(AT_FDCWD, writePath_.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) != 0) moveFailed(errno);
    named_ = true;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) moveFailed(errno);
  committed_ = true;
  syncFolder(folderOf(target_));
}

bool ReplacementFile::isTemporaryName(std::string_view name) { return hasOurPattern(name, temporaryMarker); }

void ReplacementFile::removeLeftovers(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const fs::path path = entry->path();
    const std::string name = path.filename().string();
    if (!(isTemporaryName(name) || hasOurPattern(name, stagingMarker)) || !entry->is_regular_file(error) ||
        entry->is_symlink(error))
      continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    // A running export holds its file locked.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
}

} // namespace quar
