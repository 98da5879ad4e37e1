#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace corvane::platform {

// Paths are byte strings used as given; one that holds a NUL byte names no file.

// An error of the file layer, with a description for people.
struct FileError {
  int code = 0;  // errno
  std::string localizedDescription() const;
};

// True when an item exists at the path (symbolic links followed).
bool fileExistsAtPath(std::string_view path);

// The size in bytes of the item at the path (symbolic links followed), or none.
std::optional<std::uint64_t> fileSizeAtPath(std::string_view path);

struct ReadOutcome {
  std::size_t count = 0;           // bytes placed at the start of the buffer
  std::optional<FileError> error;  // set when the read failed outright
};

// A file open for reading. Only regular files are opened: a FIFO, a device, a socket or a
// directory is refused before any read, so none of them can block or never end.
class FileHandle {
 public:
  static std::optional<FileHandle> fileHandleForReadingAtPath(std::string_view path);

  // Moves the position to `offset` bytes from the start.
  std::optional<FileError> seekToOffset(std::uint64_t offset);
  // Reads from the position until the buffer is full or the file ends; the position advances.
  ReadOutcome readDataOfLength(std::span<std::uint8_t> buffer);
  // Tells the kernel the file will be read once, front to back.
  void adviseSequential() const;

 private:
  explicit FileHandle(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
  std::uint64_t position_ = 0;
};

}  // namespace corvane::platform
