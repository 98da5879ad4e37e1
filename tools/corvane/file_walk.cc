#include "file_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_access.h"
#include "platform/unique_fd.h"

namespace corvane::tool {
namespace {

// strerror_r underneath: failures are explained from several threads at once.
std::string describe(int error) { return platform::FileError{error}.localizedDescription(); }

void walkDirectory(const std::string& folder, std::vector<Job>& jobs) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    jobs.push_back({folder, std::nullopt, describe(errno)});
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  for (const auto& name : names) {
    const std::string path = prefix + name;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      jobs.push_back({path, std::nullopt, describe(errno)});
    } else if (S_ISDIR(status.st_mode)) {
      walkDirectory(path, jobs);
    } else if (S_ISLNK(status.st_mode)) {
      // A link is taken for what it points at, unless that is a folder: walking into linked
      // folders could loop for ever.
      struct stat target {};
      if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) continue;
      jobs.push_back({path, S_ISREG(target.st_mode) ? std::optional<std::uint64_t>(target.st_size) : std::nullopt, {}});
    } else {
      jobs.push_back({path, S_ISREG(status.st_mode) ? std::optional<std::uint64_t>(status.st_size) : std::nullopt, {}});
    }
  }
}

}  // namespace

std::vector<Job> expandPaths(const std::vector<std::string>& operands, bool recursive) {
  std::vector<Job> jobs;
  for (const auto& operand : operands) {
    struct stat status {};
    const bool found = ::stat(operand.c_str(), &status) == 0;
    if (found && S_ISDIR(status.st_mode)) {
      if (recursive) {
        walkDirectory(operand, jobs);
      } else {
        jobs.push_back({operand, std::nullopt, "Is a directory"});
      }
      continue;
    }
    // Anything else goes to the plug-in, which gives its own answer for what it cannot read.
    jobs.push_back({operand, found && S_ISREG(status.st_mode) ? std::optional<std::uint64_t>(status.st_size) : std::nullopt, {}});
  }
  return jobs;
}

std::string explainFailure(const std::string& path) {
  if (path.find('\0') != std::string::npos) return "No such file or directory";
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return describe(errno);
  if (S_ISDIR(status.st_mode)) return "Is a directory";
  if (!S_ISREG(status.st_mode)) return "Not a regular file";
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return describe(errno);
  return "Read error";
}

}  // namespace corvane::tool
