#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

// A stream (standard input, a FIFO, a process substitution) copied into a file in memory,
// because the plug-in's file methods take paths of regular files. The copy lives as long as the
// object; path() names it for as long.
class Spool {
 public:
  // Reads standard input to its end.
  static Result<Spool> fromStandardInput(platform::FileSystem& fileSystem);
  // Opens `path` for reading (waiting for a FIFO's writer, as any reader does) and reads it.
  static Result<Spool> fromPath(platform::FileSystem& fileSystem, const std::string& path);

  // "/proc/self/fd/N": opening it opens the copy afresh, from its start.
  const std::string& path() const { return copy_->path(); }
  std::uint64_t size() const { return copy_->size(); }

 private:
  explicit Spool(std::unique_ptr<platform::MemoryFile> copy) : copy_(std::move(copy)) {}
  static Result<Spool> from(platform::FileSystem& fileSystem, platform::Stream& stream);

  std::unique_ptr<platform::MemoryFile> copy_;
};

// True for what is read as a stream rather than opened as a file: a FIFO or a socket (a pipe of
// a process substitution, /dev/fd/N, is a FIFO).
bool isStream(platform::FileSystem& fileSystem, const std::string& path);

}  // namespace corvane::tool
