#include "platform/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace corvane::platform {
namespace {

// The path as a C string, or none when it holds a NUL byte (it would name another file).
std::optional<std::string> cPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

std::optional<struct stat> statusOf(std::string_view path) {
  const auto c = cPath(path);
  struct stat status {};
  if (!c || ::stat(c->c_str(), &status) != 0) return std::nullopt;
  return status;
}

}  // namespace

std::string FileError::localizedDescription() const {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  return ::strerror_r(code, buffer, sizeof buffer);
}

bool fileExistsAtPath(std::string_view path) { return statusOf(path).has_value(); }

std::optional<std::uint64_t> fileSizeAtPath(std::string_view path) {
  const auto status = statusOf(path);
  if (!status || status->st_size < 0) return std::nullopt;
  return static_cast<std::uint64_t>(status->st_size);
}

std::optional<FileHandle> FileHandle::fileHandleForReadingAtPath(std::string_view path) {
  const auto c = cPath(path);
  if (!c) return std::nullopt;
  // O_NONBLOCK: opening a FIFO that has no writer must not wait for one.
  UniqueFd fd(::open(c->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) return std::nullopt;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileHandle(std::move(fd));
}

std::optional<FileError> FileHandle::seekToOffset(std::uint64_t offset) {
  // Reads are positioned (pread), so a seek only checks and keeps the offset.
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return FileError{EINVAL};
  position_ = offset;
  return std::nullopt;
}

ReadOutcome FileHandle::readDataOfLength(std::span<std::uint8_t> buffer) {
  ReadOutcome outcome;
  while (outcome.count < buffer.size()) {
    const auto position = position_ + outcome.count;
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
    const ssize_t n = ::pread(fd_.get(), buffer.data() + outcome.count, buffer.size() - outcome.count,
                              static_cast<off_t>(position));
    if (n < 0) {
      if (errno == EINTR) continue;
      outcome.error = FileError{errno};
      break;
    }
    if (n == 0) break;  // end of file
    outcome.count += static_cast<std::size_t>(n);
  }
  position_ += outcome.count;
  return outcome;
}

void FileHandle::adviseSequential() const { ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL); }

}  // namespace corvane::platform
