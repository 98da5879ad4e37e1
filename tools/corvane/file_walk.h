#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace corvane::tool {

// One thing to compute: a file path or an asset identifier.
struct Job {
  std::string name;
  std::optional<std::string> error;           // set when the job fails before any call (a folder, say)
  std::optional<platform::FileStatus> status;  // with WalkChoices::withStatus, as the walk found the file
};

struct WalkChoices {
  bool recursive = false;    // a folder stands for the regular files below it
  bool followLinks = false;  // walk into linked folders, and take linked files, as find -L does
  bool withStatus = false;   // look at each file (one status each, from its open folder)
  std::function<void(const Job&)> found = nullptr;  // told of each job as it is listed (for progress)
};

// The files that path operands name, in the order given. With `recursive`, a folder stands for
// the regular files below it as `find DIR -type f` lists them, in the byte order of their whole
// paths (so the output equals that of find | LC_ALL=C sort): hidden ones included, links, FIFOs,
// sockets and devices met on the way left out (links followed only with `followLinks`). A link
// named as an operand is followed. Without `recursive`, a folder is an error for that operand;
// anything else goes to the plug-in, which answers for what it cannot read.
std::vector<Job> expandPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands,
                             const WalkChoices& choices);

}  // namespace corvane::tool
