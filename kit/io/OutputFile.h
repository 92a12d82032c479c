// OutputFile: the file handle of the MP3 and Ogg Opus writers. Unbuffered POSIX writes that
// retry interrupted and partial writes; failures return the system error number, which
// description() turns into text. One thread at a time; not for the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace quar {

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile() { close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates an empty file at `path` (emptying any file there); 0 or an error number.
  static int createEmpty(const std::filesystem::path& path);
  // The text of an error number.
  static std::string description(int error);

  // Opens an existing file for reading and writing at offset 0; 0 or an error number.
  int open(const std::filesystem::path& path);
  bool isOpen() const { return fd_ >= 0; }
  // Writes all bytes at the current offset; 0 or an error number.
  int write(std::span<const uint8_t> bytes);
  // Writes all bytes at `offset`, leaving the current offset alone; 0 or an error number.
  int writeAt(int64_t offset, std::span<const uint8_t> bytes);
  // Closes the file (the handle is released even on failure); 0 when closed or not open.
  int close();

private:
  int fd_ = -1;
};

} // namespace quar
