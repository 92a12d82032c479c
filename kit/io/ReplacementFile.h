// ReplacementFile: the new file an export writes before it replaces its destination. Where the
// folder's file system allows, the file has no name while it is written (O_TMPFILE) and is
// linked under the hidden temporary name only just before the rename onto the destination, so a
// process killed while writing leaves nothing behind. Elsewhere it has the temporary name from
// the start, and every new replacement file removes, in its folder, the leftovers of that name
// pattern that no running export holds (each holds a lock on its own, taken before the name
// appears). Once renamed, the file and its folder are on the disk. One thread at a time; not for
// the audio thread.
#pragma once

#include <filesystem>
#include <string_view>

namespace quar {

class ReplacementFile {
public:
  // Prepares the file that is to replace `target` (a file, not a folder), named `temporary`
  // (a path in the target's folder) when it cannot be unnamed. Never throws: when the folder
  // refuses a file, the writer meets the refusal at writePath().
  ReplacementFile(std::filesystem::path target, std::filesystem::path temporary);
  // Unless committed, what was written goes: the unnamed file with its descriptor, the named
  // one is removed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Where the writer creates and writes the file (/proc/self/fd/N for an unnamed file).
  const std::filesystem::path& writePath() const { return writePath_; }
  bool isUnnamed() const { return unnamed_; }

  // Gives the written file the target's owner and group (where the process may) and permission
  // bits, flushes it to the disk, links it under the temporary name if it has none, renames it
  // onto the target and flushes the folder, so that the new file is what the target names after
  // a power cut. Throws QuarError::encodeFailed with the system error: "couldn’t move the
  // finished file into place: " and the system's text, or, once renamed, "the finished file is
  // in place, but its folder couldn’t be written to the disk: " and the system's text.
  void commit();

  // Whether `name` is one of our temporary names: "." + stem + "-" + an upper-case UUID +
  // ".tmp." + extension.
  static bool isTemporaryName(std::string_view name);
  // Removes the regular files in `folder` with a temporary name (or the name a named file has
  // for the moment before it takes it) that no export holds; errors are ignored.
  static void removeLeftovers(const std::filesystem::path& folder);

private:
  // Creates the named file, locked, under the temporary name; -1 when the folder refuses it.
  int createLocked() const;

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::filesystem::path writePath_;
  int fd_ = -1;  // the unnamed file, or the named one held for its lock; -1 when neither opened
  bool unnamed_ = false;
  bool named_ = false;  // a file exists under the temporary name
  bool committed_ = false;
};

} // namespace quar
