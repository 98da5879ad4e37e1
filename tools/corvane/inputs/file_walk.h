#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace corvane::tool {

// One thing to compute: a file path or an asset identifier.
struct Job {
  std::string name;
  std::optional<std::string> error = std::nullopt;            // the job fails before any call (a folder, say)
  std::optional<platform::FileStatus> status = std::nullopt;  // with WalkChoices::withStatus, as the walk found it
  // A file met in a walk: the walked folder, held open, and the path below it. A caller pins the
  // file from there (pinWalked) so that no folder swapped for a link since can lead it elsewhere.
  std::shared_ptr<const platform::Directory> walkRoot = nullptr;
  std::string belowRoot = {};
  bool viaLinks = false;  // the walk followed links to reach it (-L)
};

struct WalkChoices {
  bool recursive = false;                           // a folder stands for the regular files below it
  bool followLinks = false;                         // walk into linked folders, and take linked files, as find -L does
  bool withStatus = false;                          // look at each file (one status each, from its open folder)
  std::function<void(const Job&)> found = nullptr;  // told of each job as it is listed (for progress)
};

// The files that path operands name, in the order given, each handed to `sink` as soon as it is
// found (false from `sink` ends the walk). With `recursive`, a folder stands for the regular
// files below it as `find DIR -type f` lists them, in the byte order of their whole paths (so the
// output equals that of find | LC_ALL=C sort): hidden ones included, links, FIFOs, sockets and
// devices met on the way left out (links followed only with `followLinks`). A link named as an
// operand is followed. Without `recursive`, a folder is an error for that operand; anything else
// goes to the plug-in, which answers for what it cannot read. Memory stays in proportion to the
// depth of the tree and the size of its folders, whatever the number of files.
void walkPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               const std::function<bool(Job&&)>& sink);

// The same, all at once.
std::vector<Job> expandPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands,
                             const WalkChoices& choices);

// Holds the file a walked job names, reached from its walked folder without following any link
// on the way (unless the walk followed links): the path it gives leads to that very file.
platform::FileResult<std::unique_ptr<platform::PinnedFile>> pinWalked(platform::FileSystem& fileSystem, const Job& job);

}  // namespace corvane::tool
