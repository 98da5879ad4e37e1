#include "platform/beneath_resolution.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace corvane::platform {
namespace {

constexpr int kMaxLinks = 40;  // as the kernel allows

std::optional<std::string> linkTarget(int dirfd, const char* name) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = ::readlinkat(dirfd, name, target.data(), target.size());
  if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(n));
  return target;
}

// Puts the names of `path` in front of those still to resolve.
void prepend(std::deque<std::string>& names, std::string_view path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= path.size();) {
    const auto end = std::min(path.find('/', start), path.size());
    if (end > start && path.substr(start, end - start) != ".") parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  names.insert(names.begin(), parts.begin(), parts.end());
}

int fail(int error) {
  errno = error;
  return -1;
}

}  // namespace

int openBeneathByHand(int basefd, const std::string& path, int flags) {
  // Where the folder is, as the kernel names it: absolute links are compared with this.
  const auto base = linkTarget(AT_FDCWD, ("/proc/self/fd/" + std::to_string(basefd)).c_str());
  if (!base) return fail(EXDEV);
  std::deque<std::string> names;
  prepend(names, path);
  std::vector<UniqueFd> folders;  // below the base, innermost last
  const auto current = [&] { return folders.empty() ? basefd : folders.back().get(); };
  int links = 0;
  UniqueFd last;
  while (!names.empty()) {
    const std::string name = std::move(names.front());
    names.pop_front();
    if (name == "..") {
      if (folders.empty()) return fail(EXDEV);
      folders.pop_back();
      continue;
    }
    UniqueFd step(::openat(current(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!step || ::fstat(step.get(), &status) != 0) return -1;
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMaxLinks) return fail(ELOOP);
      const auto target = linkTarget(current(), name.c_str());
      if (!target) return fail(ELOOP);
      if (target->starts_with('/')) {
        // Inside only if it names the folder itself or a place below it.
        if (*target != *base && !target->starts_with(*base + "/")) return fail(EXDEV);
        folders.clear();
        prepend(names, std::string_view(*target).substr(base->size()));
      } else {
        prepend(names, *target);
      }
      continue;
    }
    if (names.empty()) {
      last = std::move(step);
    } else {
      if (!S_ISDIR(status.st_mode)) return fail(ENOTDIR);
      folders.push_back(std::move(step));
    }
  }
  if (!last) {
    // The path named the base itself or a folder on the way; open that.
    last = folders.empty() ? UniqueFd(::openat(basefd, ".", O_PATH | O_CLOEXEC)) : std::move(folders.back());
    if (!last) return -1;
  }
  if ((flags & O_PATH) != 0) return last.release();
  // What was found, opened for real: the same file, whatever its name leads to by now.
  return ::open(("/proc/self/fd/" + std::to_string(last.get())).c_str(), flags);
}

}  // namespace corvane::platform
