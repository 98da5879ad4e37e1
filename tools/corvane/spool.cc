#include "spool.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file_access.h"

namespace corvane::tool {
namespace {

std::string describe(int error) { return platform::FileError{error}.localizedDescription(); }

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size != 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<Spool> Spool::fromDescriptor(int fd, std::string& error) {
  platform::UniqueFd copy(::memfd_create("corvane-stream", MFD_CLOEXEC));
  if (!copy) {
    error = describe(errno);
    return std::nullopt;
  }
  Spool spool(std::move(copy));
  std::vector<char> buffer(1 << 17);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = describe(errno);
      return std::nullopt;
    }
    if (n == 0) break;
    if (!writeAll(spool.fd_.get(), buffer.data(), static_cast<std::size_t>(n))) {
      error = describe(errno != 0 ? errno : ENOSPC);
      return std::nullopt;
    }
    spool.size_ += static_cast<std::uint64_t>(n);
  }
  return spool;
}

std::optional<Spool> Spool::fromPath(const std::string& path, std::string& error) {
  platform::UniqueFd fd;
  do {
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  } while (!fd && errno == EINTR);
  if (!fd) {
    error = describe(errno);
    return std::nullopt;
  }
  return fromDescriptor(fd.get(), error);
}

std::string Spool::path() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

bool isStream(const std::string& path) {
  if (path.find('\0') != std::string::npos) return false;
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

}  // namespace corvane::tool
