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

} // namespace

ReplacementFile::ReplacementFile(fs::path target, fs::path temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)), writePath_(temporary_) {
  const fs::path folder = folderOf(target_);
  removeLeftovers(folder);
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ >= 0 && ::access(descriptorPath(fd_).c_str(), W_OK) == 0) {
    unnamed_ = true;
    writePath_ = descriptorPath(fd_);
  } else {
    if (fd_ >= 0) ::close(fd_);
    // The named file, created here so that its lock keeps other exports from taking it for a
    // leftover; a folder that refuses it is left for the writer to report.
    fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    named_ = fd_ >= 0;
  }
  if (fd_ >= 0) ::flock(fd_, LOCK_EX | LOCK_NB);
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
}

bool ReplacementFile::isTemporaryName(std::string_view name) {
  constexpr std::string_view marker = ".tmp.";
  if (!name.starts_with('.')) return false;
  const size_t at = name.rfind(marker);
  if (at == std::string_view::npos || at + marker.size() >= name.size() || at < 1 + 1 + 36) return false;
  return name[at - 37] == '-' && isUuid(name.substr(at - 36, 36));
}

void ReplacementFile::removeLeftovers(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const fs::path path = entry->path();
    if (!isTemporaryName(path.filename().string()) || !entry->is_regular_file(error) || entry->is_symlink(error)) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    // A running export holds its file locked.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
}

} // namespace quar
