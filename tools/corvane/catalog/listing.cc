#include "catalog/listing.h"

#include <algorithm>

#include "file_walk.h"

namespace corvane::tool::catalog {

std::vector<Found> listFolder(platform::FileSystem& fileSystem, const std::string& root) {
  const auto jobs = expandPaths(fileSystem, {root}, {.recursive = true, .followLinks = false, .withStatus = true});
  const std::size_t prefix = root == "/" ? 1 : root.size() + 1;
  std::vector<Found> found;
  found.reserve(jobs.size());
  for (const auto& job : jobs) {
    // The root itself failing is the one job named exactly as it.
    std::string relative = job.name.size() > root.size() ? job.name.substr(prefix) : std::string();
    found.push_back({std::move(relative), job.status, job.error});
    if (!job.error && !job.status) found.back().error = "cannot be looked at";
  }
  return found;
}

std::vector<Found> listLibrary(photo_library::FolderLibrary& library) {
  std::vector<Found> found;
  library.fetchAssets().enumerateObjectsUsingBlock([&](const photo_library::Asset& asset, std::int64_t, bool*) {
    Found item{asset.localIdentifier(), std::nullopt, std::nullopt};
    auto file = library.openAsset(item.path);
    auto status =
        file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
    if (status) {
      item.status = *status;
    } else {
      item.error = status.error().description();
    }
    found.push_back(std::move(item));
  });
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
  return found;
}

bool liesWithin(const std::string& path, const std::string& folder) {
  if (folder.empty()) return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace corvane::tool::catalog
