#pragma once

#include <functional>
#include <string_view>

#include "platform/file_system.h"

namespace corvane::platform {

struct WalkOptions {
  enum class Order {
    kNames,       // depth first, each folder's entries by name
    kWholePaths,  // depth first, in the byte order of the whole paths (a folder sorts as "name/")
  };
  bool followLinks = false;  // walk into linked folders; report linked files as what they lead to
  bool beneathRoot = false;  // resolve links beneath the root: links that lead out name nothing
  bool skipHidden = false;   // leave out names that start with '.'
  // Walk into each folder reached through links once at most, however many links lead to it:
  // links between folders can otherwise name the same things a number of times that grows
  // exponentially with the tree.
  bool linkedFoldersOnce = false;
  // Do not enter folders of other file systems than the root's (find -xdev); they are still visited.
  bool oneFileSystem = false;
  Order order = Order::kNames;
};

struct WalkEntry {
  std::string_view path;    // relative to the root, '/'-separated
  std::string_view name;    // the last part of the path
  const Directory& folder;  // the open folder that holds it, for looking at it without a path
  FileType type;            // a link not followed (or leading nowhere) is kSymbolicLink
  bool viaLink;             // reached through a link in its last place
  // Its identity as the listing tells it, without a look at the entry itself: the folder's
  // device and the listed inode number (0 where the listing does not tell it, or via a link).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

struct TreeVisitor {
  // Told every entry in order; for a folder, answers whether to walk into it.
  std::function<bool(const WalkEntry&)> visit;
  // A folder that cannot be opened or listed, or a link that closes a loop.
  std::function<void(std::string_view path, const FileError& error)> failed;
  // Asked before each entry; false ends the walk there.
  std::function<bool()> keepGoing = nullptr;
};

// Walks the tree below `root` through `fileSystem`, relative to open folder descriptors: a folder
// swapped for a link during the walk is never followed out. Holds a bounded number of
// descriptors whatever the depth (fewer when the system has none to spare), takes time in
// proportion to the tree, and memory in proportion to the depth and the folders' sizes.
void walkTree(FileSystem& fileSystem, const Directory& root, const WalkOptions& options, const TreeVisitor& visitor);

}  // namespace corvane::platform
