#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inputs/exclusions.h"
#include "inputs/photo_folder.h"
#include "platform/file_system.h"

namespace corvane::tool::catalog {

// One file of a root as a scan finds it, before anything is read.
struct Found {
  std::string path;                            // relative to the root; an asset's identifier
  std::optional<platform::FileStatus> status;  // none when `error` is set
  std::optional<std::string> error;            // the file, or the folder of that path, cannot be looked at
};

// Every regular file below a folder (as `find -type f` lists them, links not followed), in the
// byte order of the paths, each with one status taken from its open folder; what `exclusions`
// match left out, and with `oneFileSystem` no folder of another file system entered.
std::vector<Found> listFolder(platform::FileSystem& fileSystem, const std::string& root,
                              const Exclusions& exclusions = {}, bool oneFileSystem = false);

// Every asset of a library, each with the status of its file opened beneath the library's
// root, in the byte order of the identifiers.
std::vector<Found> listLibrary(const PhotoFolder& library);

// A root's folder, reached from "/" with no link followed anywhere on the way: a root is recorded
// with every link resolved, so a link met now is a folder swapped for one since.
platform::FileResult<std::unique_ptr<platform::Directory>> openRootFolder(platform::FileSystem& fileSystem,
                                                                          const std::string& root);

// Whether `path` lies at or below `folder` (both relative, '/'-separated; "" is the root).
bool liesWithin(const std::string& path, const std::string& folder);

}  // namespace corvane::tool::catalog
