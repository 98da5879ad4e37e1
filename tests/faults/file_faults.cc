#include "faults/file_faults.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <set>

namespace corvane::testing {
namespace {

std::mutex& planMutex() {
  static std::mutex mutex;
  return mutex;
}
FaultPlan& plan() {
  static FaultPlan current;
  return current;
}
std::set<int>& faultyDescriptors() {
  static std::set<int> fds;
  return fds;
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

int faultyOpen(const char* realName, const char* path, int flags, mode_t mode) {
  using Open = int (*)(const char*, int, ...);
  static const auto realOpen = real<Open>(realName);
  FaultPlan current;
  {
    std::lock_guard lock(planMutex());
    current = plan();
  }
  const bool faulty = !current.marker.empty() && path != nullptr && std::string_view(path).find(current.marker) != std::string_view::npos;
  if (faulty && current.openError != 0) {
    errno = current.openError;
    return -1;
  }
  if (faulty && current.truncateOnOpen >= 0) ::truncate(path, current.truncateOnOpen);
  if (faulty && current.growOnOpen > 0) {
    const int fd = realOpen(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    const std::string extra(current.growOnOpen, '+');
    [[maybe_unused]] const auto n = ::write(fd, extra.data(), extra.size());
    ::close(fd);
  }
  const int fd = realOpen(path, flags, mode);
  if (faulty && fd >= 0) {
    std::lock_guard lock(planMutex());
    faultyDescriptors().insert(fd);
  }
  return fd;
}

ssize_t faultyPread(const char* realName, int fd, void* buffer, std::size_t count, off_t offset) {
  using Pread = ssize_t (*)(int, void*, std::size_t, off_t);
  static const auto realPread = real<Pread>(realName);
  FaultPlan current;
  {
    std::lock_guard lock(planMutex());
    if (!faultyDescriptors().contains(fd)) return realPread(fd, buffer, count, offset);
    current = plan();
  }
  if (current.failReadsFrom >= 0 && offset + static_cast<off_t>(count) > current.failReadsFrom) {
    errno = EIO;
    return -1;
  }
  if (current.shortReadLimit > 0 && count > current.shortReadLimit) count = current.shortReadLimit;
  return realPread(fd, buffer, count, offset);
}

mode_t modeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

void setFaultPlan(FaultPlan next) {
  std::lock_guard lock(planMutex());
  plan() = std::move(next);
}

void clearFaultPlan() { setFaultPlan({}); }

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
  ::closedir(dir);
  return count - 1;  // the directory stream itself
}

}  // namespace corvane::testing

using corvane::testing::faultyDescriptors;
using corvane::testing::planMutex;

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = corvane::testing::modeArgument(flags, arguments);
  va_end(arguments);
  return corvane::testing::faultyOpen("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = corvane::testing::modeArgument(flags, arguments);
  va_end(arguments);
  return corvane::testing::faultyOpen("open64", path, flags, mode);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  return corvane::testing::faultyPread("pread", fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  return corvane::testing::faultyPread("pread64", fd, buffer, count, offset);
}

int close(int fd) {
  using Close = int (*)(int);
  static const auto realClose = corvane::testing::real<Close>("close");
  {
    std::lock_guard lock(planMutex());
    faultyDescriptors().erase(fd);
  }
  return realClose(fd);
}
}
