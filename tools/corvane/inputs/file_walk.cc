#include "inputs/file_walk.h"

#include <cerrno>
#include <climits>

#include "platform/tree_walk.h"
#include "run/descriptor_retry.h"

namespace corvane::tool {
namespace {

using platform::FileType;

// Walks one folder operand; false once `sink` asked to stop.
bool walkFolder(platform::FileSystem& fileSystem, const std::string& operand, const WalkChoices& choices,
                const std::function<bool(SeenFile&&)>& sink) {
  const std::string prefix = operand.ends_with('/') ? operand : operand + "/";
  const auto pathOf = [&](std::string_view relative) {
    return relative.empty() ? operand : prefix + std::string(relative);
  };
  auto folder = fileSystem.openDirectory(nullptr, operand, platform::Resolve::kFollow);
  if (!folder) return sink({operand, folder.error().description()});
  const std::shared_ptr<const platform::Directory> root = std::move(*folder);
  bool going = true;
  // Files of a folder too deep to name by path share one descriptor of it, not one each: files
  // waiting in a run would otherwise hold as many as there are of them.
  std::shared_ptr<const platform::Directory> held;
  const platform::Directory* heldFrom = nullptr;  // the walk's own handle of that folder
  std::string heldPath;
  const platform::WalkOptions options{.followLinks = choices.followLinks,
                                      .oneFileSystem = choices.oneFileSystem,
                                      .order = platform::WalkOptions::Order::kWholePaths};
  platform::walkTree(
      fileSystem, *root, options,
      {[&](const platform::WalkEntry& entry) {
         const bool folder = entry.type == FileType::kDirectory;
         if (folder || entry.type == FileType::kRegular) {
           if (choices.exclusions.excludes(entry.path, folder)) return false;
         }
         if (entry.type != FileType::kRegular) return folder && choices.recursive;
         SeenFile seen{pathOf(entry.path),      std::nullopt,       std::nullopt, root,
                       std::string(entry.path), choices.followLinks};
         if (seen.path.size() >= PATH_MAX) {
           // Too long a path to name the file by: it is reached from its own
           // folder, held for it, instead.
           const auto parent = entry.path.substr(0, entry.path.size() - entry.name.size());
           if (!held || heldFrom != &entry.folder || heldPath != parent) {
             // With few descriptors left, wait for one that files done with give back.
             auto folder = retryForDescriptor(
                 [&] { return fileSystem.openDirectory(&entry.folder, ".", platform::Resolve::kNoFollow); },
                 [](const auto& opened) { return !opened && noDescriptor(opened.error().code); });
             if (!folder) {
               going = sink({seen.path, folder.error().description()});
               return false;
             }
             held = std::move(*folder);
             heldFrom = &entry.folder;
             heldPath = std::string(parent);
           }
           seen.walkRoot = held;
           seen.belowRoot = std::string(entry.name);
         }
         if (choices.withStatus && choices.identityWillDo && entry.inode != 0) {
           seen.status = platform::FileStatus{.type = FileType::kRegular, .device = entry.device, .inode = entry.inode};
           seen.identityOnly = true;
         } else if (choices.withStatus) {
           const auto status = fileSystem.statusOf(
               &entry.folder, entry.name, entry.viaLink ? platform::Resolve::kFollow : platform::Resolve::kNoFollow);
           // Gone since the listing, or swapped for something else: not a file any
           // more. A file that cannot be looked at (a folder that can be listed but
           // not searched) is a failure, as for sha256sum.
           if (!status && status.error().code != ENOENT) {
             going = sink({seen.path, status.error().description()});
             return false;
           }
           if (!status || status->type != FileType::kRegular) return false;
           seen.status = *status;
         }
         if (choices.found) choices.found(seen);
         going = sink(std::move(seen));
         return false;
       },
       [&](std::string_view path, const platform::FileError& error) {
         if (going) going = sink({pathOf(path), error.description()});
       },
       [&] { return going; }});
  return going;
}

}  // namespace

void walkPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               const std::function<bool(SeenFile&&)>& sink) {
  for (const auto& operand : operands) {
    const auto status = fileSystem.statusOf(nullptr, operand, platform::Resolve::kFollow);
    bool going = true;
    if (!status || status->type != FileType::kDirectory) {
      going = sink({operand, std::nullopt, choices.withStatus && status ? std::optional(*status) : std::nullopt});
    } else if (choices.recursive || choices.ownFiles) {
      going = walkFolder(fileSystem, operand, choices, sink);
    } else {
      going = sink({operand, "Is a directory"});
    }
    if (!going) return;
  }
}

std::vector<SeenFile> expandPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands,
                                  const WalkChoices& choices) {
  std::vector<SeenFile> files;
  walkPaths(fileSystem, operands, choices, [&](SeenFile&& seen) {
    files.push_back(std::move(seen));
    return true;
  });
  return files;
}

platform::FileResult<std::unique_ptr<platform::PinnedFile>> pinWalked(platform::FileSystem& fileSystem,
                                                                      const SeenFile& seen) {
  return fileSystem.pin(seen.walkRoot.get(), seen.belowRoot,
                        seen.viaLinks ? platform::Resolve::kFollow : platform::Resolve::kBeneathNoLinks);
}

}  // namespace corvane::tool
