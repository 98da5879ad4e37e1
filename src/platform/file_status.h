#pragma once

#include <cstdint>

namespace corvane::platform {

enum class FileType { kRegular, kDirectory, kSymbolicLink, kFifo, kSocket, kDevice, kUnknown };

// What the system says of a file: its kind, size and identity, and when its content and its
// metadata last changed.
struct FileStatus {
  FileType type = FileType::kUnknown;
  std::uint64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t links = 0;
  std::int64_t modifiedNs = 0;  // content, nanoseconds since the epoch
  std::int64_t changedNs = 0;   // metadata

  bool sameFileAs(const FileStatus& other) const { return device == other.device && inode == other.inode; }
  // The same file, and nothing in it seen to change: size, modification time and change time as
  // before (the change time moves with every write and cannot be set back).
  bool sameVersionAs(const FileStatus& other) const {
    return sameFileAs(other) && size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
  }
};

}  // namespace corvane::platform
