#include "dupes/held_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <limits>

#include "platform/system_status.h"

namespace corvane::tool {
namespace {

using platform::FileError;
using platform::FileStatus;
using platform::Unexpected;

}  // namespace

platform::FileResult<std::unique_ptr<HeldFile>> HeldFile::open(int folder, std::string_view name, bool writable) {
  const std::string path(name);
  if (path.empty() || path.find('/') != std::string::npos || path.find('\0') != std::string::npos) {
    return Unexpected(FileError::system("open", name, EINVAL));
  }
  // Not blocking: a FIFO put in a file's place must not hold the run up.
  const int flags = (writable ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  for (;;) {
    platform::UniqueFd fd(::openat(folder, path.c_str(), flags));
    if (fd) return std::unique_ptr<HeldFile>(new HeldFile(std::move(fd), path));
    if (errno == EINTR) continue;
    return Unexpected(FileError::system("open", name, errno));
  }
}

platform::FileResult<FileStatus> HeldFile::status() const {
  struct stat s {};
  if (::fstat(fd_.get(), &s) != 0) return Unexpected(FileError::system("stat", name_, errno));
  return platform::statusFromStat(s);
}

platform::FileResult<std::size_t> HeldFile::readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    return Unexpected(FileError::system("read", name_, EINVAL));
  }
  for (;;) {
    const ssize_t n = ::pread(fd_.get(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return Unexpected(FileError::system("read", name_, errno));
  }
}

void HeldFile::adviseSequential() const { ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL); }

platform::FileResult<FileStatus> statusInFolder(int folder, std::string_view name) {
  const std::string path(name);
  struct stat s {};
  if (::fstatat(folder, path.c_str(), &s, AT_SYMLINK_NOFOLLOW) != 0) {
    return Unexpected(FileError::system("stat", name, errno));
  }
  return platform::statusFromStat(s);
}

}  // namespace corvane::tool
