#include "catalog/listing.h"

#include <algorithm>

#include "inputs/file_walk.h"

namespace corvane::tool::catalog {

std::vector<Found> listFolder(platform::FileSystem& fileSystem, const std::string& root, const Exclusions& exclusions,
                              bool oneFileSystem) {
  const auto files = expandPaths(fileSystem, {root},
                                 {.recursive = true,
                                  .followLinks = false,
                                  .withStatus = true,
                                  .exclusions = exclusions,
                                  .oneFileSystem = oneFileSystem});
  const std::size_t prefix = root == "/" ? 1 : root.size() + 1;
  std::vector<Found> found;
  found.reserve(files.size());
  for (const auto& file : files) {
    // The root itself failing is the one path named exactly as it.
    std::string relative = file.path.size() > root.size() ? file.path.substr(prefix) : std::string();
    found.push_back({std::move(relative), file.status, file.error});
    if (!file.error && !file.status) found.back().error = "cannot be looked at";
  }
  return found;
}

std::vector<Found> listLibrary(const PhotoFolder& library) {
  std::vector<Found> found;
  library.forEachAsset(std::nullopt, [&](const LibraryAsset& asset) {
    Found item{asset.identifier, std::nullopt, std::nullopt};
    if (const auto status = library.assetStatus(item.path)) {
      item.status = *status;
    } else {
      item.error = status.error().description();
    }
    found.push_back(std::move(item));
    return true;
  });
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
  return found;
}

platform::FileResult<std::unique_ptr<platform::Directory>> openRootFolder(platform::FileSystem& fileSystem,
                                                                          const std::string& root) {
  auto top = fileSystem.openDirectory(nullptr, "/", platform::Resolve::kNoFollow);
  if (!top || root == "/") return top;
  return fileSystem.openDirectory(top->get(), std::string_view(root).substr(1), platform::Resolve::kBeneathNoLinks);
}

bool liesWithin(const std::string& path, const std::string& folder) {
  if (folder.empty()) return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace corvane::tool::catalog
