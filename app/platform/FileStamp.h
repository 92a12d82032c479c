// FileStamp: what identifies one version of a file on disk (modification and change times in
// nanoseconds, size in bytes, device and inode), so that a document can tell whether its file
// was replaced or rewritten since it last read or wrote it. The change time catches a rewrite
// whose modification time was set back. Any thread.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

struct FileStamp {
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  int64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;

  // The stamp of the file at `path` (links followed); none when it cannot be read.
  static std::optional<FileStamp> of(const QString& path);

  bool operator==(const FileStamp&) const = default;
};
