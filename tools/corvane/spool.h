#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace corvane::tool {

// A stream (standard input, a FIFO, a process substitution) copied into an anonymous file in
// memory, because the plug-in's file methods take paths of regular files. The copy lives as
// long as the object; path() names it for as long.
class Spool {
 public:
  // Reads `fd` to its end. On failure says why in `error` and gives none.
  static std::optional<Spool> fromDescriptor(int fd, std::string& error);
  // Opens `path` for reading (waiting for a FIFO's writer, as any reader does) and reads it.
  static std::optional<Spool> fromPath(const std::string& path, std::string& error);

  // "/proc/self/fd/N": opening it opens the copy afresh, from its start.
  std::string path() const;
  std::uint64_t size() const { return size_; }

 private:
  explicit Spool(platform::UniqueFd fd) : fd_(std::move(fd)) {}

  platform::UniqueFd fd_;
  std::uint64_t size_ = 0;
};

// True for what is read as a stream rather than opened as a file: a FIFO or a socket (a pipe of
// a process substitution, /dev/fd/N, is a FIFO).
bool isStream(const std::string& path);

}  // namespace corvane::tool
