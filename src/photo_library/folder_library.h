#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "photo_library/photo_library.h"
#include "photo_library/worker_pool.h"
#include "platform/file_system.h"

namespace corvane::photo_library {

// A photo library kept as a folder. Every regular file below the root whose extension names an
// image or a video is an asset, identified by its path relative to the root; every folder below
// the root is an album holding the assets directly in it. Hidden files and folders are skipped.
//
// Identifiers are untrusted. One that is absolute, has an empty, "." or ".." segment, a hidden
// segment or a NUL byte names nothing; every other is resolved beneath the root's descriptor in
// one step the kernel checks, so links that stay inside work and links that lead out name
// nothing, whatever is swapped for what meanwhile. Browsing follows the same rules. A lookup
// costs one resolution, never a scan. Requests are served by the library's own threads, each
// from the file its request opened.
class FolderLibrary final : public PhotoLibrary {
 public:
  static constexpr std::size_t kChunkSize = 1 << 20;

  // The root must be a folder; `threads` 0 means one per processor (at least two).
  static platform::FileResult<std::shared_ptr<FolderLibrary>> open(std::string_view root,
                                                                   std::shared_ptr<platform::FileSystem> fileSystem,
                                                                   std::size_t threads = 0);
  FolderLibrary(std::unique_ptr<platform::Directory> root, std::string rootPath,
                std::shared_ptr<platform::FileSystem> fileSystem, std::size_t threads);
  // Shuts down: requests still pending are completed, cancelled.
  ~FolderLibrary() override;

  // Completes every pending request, cancelled; later requests complete at once, cancelled.
  void shutdown() { pool_.shutdown(); }
  // Shuts down and waits for the library's threads: once it returns, no handler runs any more
  // (unless the caller is one of those threads).
  void shutdownAndWait() { pool_.shutdownAndWait(); }

  // The absolute path of the library's folder.
  std::string location() const { return rootPath_.empty() ? "/" : rootPath_; }

  FetchResult<Asset> fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) override;
  FetchResult<AssetCollection> fetchAssetCollectionsWithLocalIdentifiers(
      const std::vector<std::string>& identifiers) override;
  FetchResult<AssetCollection> fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                    AssetCollectionType type) override;
  std::vector<std::shared_ptr<const AssetResource>> assetResourcesForAsset(const Asset& asset) override;
  RequestID requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions& options,
                                   VideoResultHandler resultHandler) override;
  RequestID requestDataForAssetResource(const AssetResource& resource, DataReceivedHandler dataReceivedHandler,
                                        DataCompletionHandler completionHandler) override;
  FetchResult<Asset> fetchAssets() override;
  FetchResult<AssetCollection> fetchAssetCollectionsWithType(AssetCollectionType type) override;
  FetchResult<Asset> fetchAssetsInAssetCollection(const AssetCollection& collection) override;

  // The file of the asset an identifier names, opened beneath the root; an error when it names
  // no asset.
  platform::FileResult<std::unique_ptr<platform::File>> openAsset(std::string_view identifier) const;

  // Told of every folder that browsing could not list (no permission, no descriptor left), so
  // that a listing left incomplete does not pass for whole. Set before browsing.
  using BrowseFailureHandler = std::function<void(std::string_view path, const platform::FileError& error)>;
  void setBrowseFailureHandler(BrowseFailureHandler handler) { browseFailures_ = std::move(handler); }

  // The media type a file name's extension gives, if it names an image or a video.
  static std::optional<MediaType> mediaTypeOfName(std::string_view name);

 private:
  std::optional<MediaType> assetType(std::string_view identifier) const;
  bool albumExists(std::string_view identifier) const;
  void browseFailed(std::string_view path, const platform::FileError& error) const;
  RequestID nextRequest();

  const std::shared_ptr<platform::FileSystem> files_;
  const std::unique_ptr<platform::Directory> root_;
  const std::string rootPath_;  // absolute, for the URLs of videos
  std::atomic<RequestID> lastRequest_{0};
  BrowseFailureHandler browseFailures_;
  WorkerPool pool_;
};

}  // namespace corvane::photo_library
