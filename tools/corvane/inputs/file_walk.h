#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inputs/exclusions.h"
#include "platform/file_system.h"

namespace corvane::tool {

// A path as the command first saw it: the file there, or why it could not be looked at.
struct SeenFile {
  std::string path;
  std::optional<std::string> error = std::nullopt;            // it fails before any call (a folder, say)
  std::optional<platform::FileStatus> status = std::nullopt;  // when looked at (a walk's WalkChoices::withStatus)
  // A file met in a walk: the walked folder, held open, and the path below it. A caller pins the
  // file from there (pinWalked) so that no folder swapped for a link since can lead it elsewhere.
  std::shared_ptr<const platform::Directory> walkRoot = nullptr;
  std::string belowRoot = {};
  bool viaLinks = false;  // the walk followed links to reach it (-L)
  // Always reached from walkRoot, never by its path: a path that came from elsewhere (a catalog)
  // and must resolve below that folder in one step the kernel checks.
  bool belowRootOnly = false;
  // `status` holds the file's device and inode alone, as its folder's listing told them.
  bool identityOnly = false;
};

struct WalkChoices {
  bool recursive = false;    // a folder stands for the regular files below it
  bool followLinks = false;  // walk into linked folders, and take linked files, as find -L does
  bool withStatus = false;   // look at each file (one status each, from its open folder)
  // With `withStatus`: the file's identity is all that is wanted of it, and is taken from its
  // folder's listing where that tells it (no look at the file then; see SeenFile::identityOnly).
  bool identityWillDo = false;
  std::function<void(const SeenFile&)> found = nullptr;  // told of each job as it is listed (for progress)
  bool ownFiles = false;       // without `recursive`: a folder stands for the regular files directly in it
  Exclusions exclusions = {};  // what is left out below each folder operand
  bool oneFileSystem = false;  // folders of other file systems than their operand's are not entered
};

// The files that path operands name, in the order given, each handed to `sink` as soon as it is
// found (false from `sink` ends the walk). With `recursive`, a folder stands for the regular
// files below it as `find DIR -type f` lists them, in the byte order of their whole paths (so the
// output equals that of find | LC_ALL=C sort): hidden ones included, links, FIFOs, sockets and
// devices met on the way left out (links followed only with `followLinks`). A link named as an
// operand is followed. Without `recursive`, a folder is an error for that operand; anything else
// goes to the plug-in, which answers for what it cannot read; with `ownFiles`, a folder stands for
// the regular files directly in it, none below. Files and folders that `exclusions` match are left
// out, and such a folder is not entered: nothing in it is listed or opened. Memory stays in proportion to the
// depth of the tree and the size of its folders, whatever the number of files.
void walkPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               const std::function<bool(SeenFile&&)>& sink);

// The same, all at once.
std::vector<SeenFile> expandPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands,
                                  const WalkChoices& choices);

// Holds the file a walked path names, reached from its walked folder without following any link
// on the way (unless the walk followed links): the path it gives leads to that very file.
platform::FileResult<std::unique_ptr<platform::PinnedFile>> pinWalked(platform::FileSystem& fileSystem,
                                                                      const SeenFile& file);

}  // namespace corvane::tool
