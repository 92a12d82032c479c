#include "platform/FileStamp.h"

#include <QFile>

#include <sys/stat.h>

std::optional<FileStamp> FileStamp::of(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
  const auto nanoseconds = [](const timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
  };
  return FileStamp{nanoseconds(info.st_mtim), nanoseconds(info.st_ctim), static_cast<int64_t>(info.st_size),
                   static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}
