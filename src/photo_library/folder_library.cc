#include "photo_library/folder_library.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

#include "photo_library/file_url.h"
#include "photo_library/plain_items.h"
#include "platform/file_access.h"

namespace corvane::photo_library {
namespace {

namespace fs = std::filesystem;

bool hidden(std::string_view name) { return name.starts_with('.'); }

// A well-formed identifier: relative, and every segment a plain visible name.
bool wellFormed(std::string_view identifier) {
  if (identifier.empty() || identifier.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const auto end = identifier.find('/', start);
    const auto segment = identifier.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (segment.empty() || hidden(segment)) return false;  // also rules out "." and ".."
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::optional<struct stat> statusOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return status;
}

std::string relativeTo(const fs::path& root, const fs::path& path) { return path.lexically_relative(root).generic_string(); }

// Every visible entry below a folder, depth first, names in byte order, so listings are stable.
template <typename Visit>
void walk(const fs::path& folder, const Visit& visit) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!hidden(it->path().filename().native())) entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  for (const auto& entry : entries) {
    // Links are left out of listings: where they lead may lie outside the library.
    if (entry.is_symlink(ec)) continue;
    const bool isFolder = entry.is_directory(ec);
    visit(entry, isFolder);
    if (isFolder) walk(entry.path(), visit);
  }
}

}  // namespace

std::shared_ptr<FolderLibrary> FolderLibrary::open(const fs::path& root, std::string& error, std::size_t threads) {
  char resolved[PATH_MAX];
  if (::realpath(root.c_str(), resolved) == nullptr) {
    error = "cannot open the library " + root.string() + ": " + platform::FileError{errno}.localizedDescription();
    return nullptr;
  }
  const auto status = statusOf(resolved);
  if (!status || !S_ISDIR(status->st_mode)) {
    error = "the library " + root.string() + " is not a folder";
    return nullptr;
  }
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency());
  return std::make_shared<FolderLibrary>(resolved, threads);
}

FolderLibrary::FolderLibrary(std::string root, std::size_t threads)
    : root_(root == "/" ? std::string() : std::move(root)), pool_(threads) {}

FolderLibrary::~FolderLibrary() = default;

RequestID FolderLibrary::nextRequest() { return ++lastRequest_; }

std::optional<MediaType> FolderLibrary::mediaTypeOfName(std::string_view name) {
  static constexpr std::array<std::string_view, 11> kImages{"jpg", "jpeg", "png", "heic", "heif", "gif",
                                                            "webp", "tif", "tiff", "bmp", "dng"};
  static constexpr std::array<std::string_view, 8> kVideos{"mov", "mp4", "m4v", "avi", "mkv", "webm", "3gp", "mts"};
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  if (std::find(kImages.begin(), kImages.end(), extension) != kImages.end()) return MediaType::kImage;
  if (std::find(kVideos.begin(), kVideos.end(), extension) != kVideos.end()) return MediaType::kVideo;
  return std::nullopt;
}

std::optional<std::string> FolderLibrary::confinedPath(std::string_view identifier) const {
  if (!wellFormed(identifier)) return std::nullopt;
  const std::string joined = root_ + "/" + std::string(identifier);
  // Links inside the library may point anywhere; what they resolve to must still be inside.
  char resolved[PATH_MAX];
  if (::realpath(joined.c_str(), resolved) == nullptr) return std::nullopt;
  const std::string_view path = resolved;
  if (!path.starts_with(root_ + "/")) return std::nullopt;
  return std::string(path);
}

std::optional<std::string> FolderLibrary::assetPath(std::string_view identifier) const {
  if (!mediaTypeOfName(identifier.substr(identifier.rfind('/') + 1))) return std::nullopt;
  auto path = confinedPath(identifier);
  if (!path) return std::nullopt;
  const auto status = statusOf(*path);
  if (!status || !S_ISREG(status->st_mode)) return std::nullopt;
  return path;
}

std::optional<std::string> FolderLibrary::albumPath(std::string_view identifier) const {
  auto path = confinedPath(identifier);
  if (!path) return std::nullopt;
  const auto status = statusOf(*path);
  if (!status || !S_ISDIR(status->st_mode)) return std::nullopt;
  return path;
}

FetchResult<Asset> FolderLibrary::fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const Asset>> assets;
  for (const auto& identifier : identifiers) {
    if (assetPath(identifier)) {
      const auto name = std::string_view(identifier).substr(identifier.rfind('/') + 1);
      assets.push_back(std::make_shared<PlainAsset>(identifier, *mediaTypeOfName(name)));
    }
  }
  return FetchResult<Asset>(std::move(assets));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsWithLocalIdentifiers(
    const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const AssetCollection>> albums;
  for (const auto& identifier : identifiers) {
    if (albumPath(identifier)) albums.push_back(std::make_shared<PlainAlbum>(identifier));
  }
  return FetchResult<AssetCollection>(std::move(albums));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                                AssetCollectionType type) {
  const auto identifier = asset.localIdentifier();
  const auto slash = identifier.rfind('/');
  if (type != AssetCollectionType::kAlbum || slash == std::string::npos || !assetPath(identifier)) return {};
  return fetchAssetCollectionsWithLocalIdentifiers({identifier.substr(0, slash)});
}

std::vector<std::shared_ptr<const AssetResource>> FolderLibrary::assetResourcesForAsset(const Asset& asset) {
  auto identifier = asset.localIdentifier();
  if (!assetPath(identifier)) return {};
  auto filename = identifier.substr(identifier.rfind('/') + 1);
  return {std::make_shared<PlainResource>(std::move(identifier), std::move(filename))};
}

RequestID FolderLibrary::requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions&,
                                                VideoResultHandler resultHandler) {
  const RequestID id = nextRequest();
  pool_.submit([this, identifier = asset.localIdentifier(), handler = std::move(resultHandler)](bool cancelled) {
    if (cancelled) {
      handler(nullptr, nullptr, std::make_shared<const InfoDictionary>(InfoDictionary{{"cancelled", "1"}}));
      return;
    }
    const auto path = assetPath(identifier);
    const auto name = std::string_view(identifier).substr(identifier.rfind('/') + 1);
    if (!path || mediaTypeOfName(name) != MediaType::kVideo) {
      handler(nullptr, nullptr, std::make_shared<const InfoDictionary>(InfoDictionary{{"error", "not a video"}}));
      return;
    }
    handler(std::make_shared<AVURLAsset>(fileURLWithPath(*path)), nullptr, std::make_shared<const InfoDictionary>());
  });
  return id;
}

RequestID FolderLibrary::requestDataForAssetResource(const AssetResource& resource, DataReceivedHandler dataReceivedHandler,
                                                     DataCompletionHandler completionHandler) {
  const RequestID id = nextRequest();
  pool_.submit([this, identifier = resource.assetLocalIdentifier(), onData = std::move(dataReceivedHandler),
                onDone = std::move(completionHandler)](bool cancelled) {
    if (cancelled) {
      onDone(LibraryError{ECANCELED, "the library shut down"});
      return;
    }
    const auto path = assetPath(identifier);
    auto file = path ? platform::FileHandle::fileHandleForReadingAtPath(*path) : std::nullopt;
    if (!file) {
      onDone(LibraryError{ENOENT, "the asset's file cannot be read"});
      return;
    }
    file->adviseSequential();
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
    for (;;) {
      if (pool_.stopping()) {
        onDone(LibraryError{ECANCELED, "the library shut down"});
        return;
      }
      const auto outcome = file->readDataOfLength({chunk.get(), kChunkSize});
      if (outcome.error) {
        onDone(LibraryError{outcome.error->code, outcome.error->localizedDescription()});
        return;
      }
      if (outcome.count == 0) break;
      onData({chunk.get(), outcome.count});
    }
    onDone(std::nullopt);
  });
  return id;
}

FetchResult<Asset> FolderLibrary::fetchAssets() {
  std::vector<std::shared_ptr<const Asset>> assets;
  const fs::path root = root_.empty() ? "/" : root_;
  walk(root, [&](const fs::directory_entry& entry, bool isFolder) {
    std::error_code ec;
    if (isFolder || !entry.is_regular_file(ec)) return;
    if (const auto type = mediaTypeOfName(entry.path().filename().native())) {
      assets.push_back(std::make_shared<PlainAsset>(relativeTo(root, entry.path()), *type));
    }
  });
  return FetchResult<Asset>(std::move(assets));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsWithType(AssetCollectionType type) {
  std::vector<std::shared_ptr<const AssetCollection>> albums;
  if (type != AssetCollectionType::kAlbum) return {};
  const fs::path root = root_.empty() ? "/" : root_;
  walk(root, [&](const fs::directory_entry& entry, bool isFolder) {
    if (isFolder) albums.push_back(std::make_shared<PlainAlbum>(relativeTo(root, entry.path())));
  });
  return FetchResult<AssetCollection>(std::move(albums));
}

FetchResult<Asset> FolderLibrary::fetchAssetsInAssetCollection(const AssetCollection& collection) {
  const auto identifier = collection.localIdentifier();
  const auto folder = albumPath(identifier);
  if (!folder) return {};
  std::vector<std::shared_ptr<const Asset>> assets;
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().native();
    if (!hidden(name) && !it->is_symlink(ec) && it->is_regular_file(ec) && mediaTypeOfName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    assets.push_back(std::make_shared<PlainAsset>(identifier + "/" + name, *mediaTypeOfName(name)));
  }
  return FetchResult<Asset>(std::move(assets));
}

}  // namespace corvane::photo_library
