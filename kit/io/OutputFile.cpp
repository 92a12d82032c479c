#include "io/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quar {

int OutputFile::createEmpty(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  return ::close(fd) == 0 ? 0 : errno;
}

std::string OutputFile::description(int error) { return std::strerror(error); }

int OutputFile::open(const std::filesystem::path& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd_ >= 0 ? 0 : errno;
}

int OutputFile::write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return EBADF;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
  return 0;
}

int OutputFile::writeAt(int64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0) return EBADF;
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes = bytes.subspan(static_cast<size_t>(written));
    offset += written;
  }
  return 0;
}

int OutputFile::close() {
  if (fd_ < 0) return 0;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0 ? 0 : errno;
}

} // namespace quar
